#include "WaveformPlot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "PlotScale.h"

namespace {

constexpr int kWaveformColumnWidth = 96;
constexpr int kGrabPixels = 5;  // how near a level the mouse takes hold of it
const QColor kTriggerColour(230, 120, 0);

QString VoltText(float volts) {
  return QString::number(static_cast<double>(volts), 'f', 3) + " V";
}

}  // namespace

WaveformPlot::WaveformPlot(QWidget* parent) : PlotFrame(kWaveformColumnWidth, parent) {
  setMouseTracking(true);  // the cursor tells where a level can be taken hold of
}

void WaveformPlot::SetTriggerLevels(const std::vector<double>& volts) {
  if (volts == levels_) return;
  levels_ = volts;
  update();
}

void WaveformPlot::SetTriggerMark(std::optional<double> ms, const QString& caption) {
  if (ms == markMs_ && caption == markCaption_) return;
  markMs_ = ms;
  markCaption_ = caption;
  update();
}

int WaveformPlot::LevelY(size_t index) const {
  if (index >= levels_.size() || high_ <= low_) return -1;
  const QRect area = PlotArea();
  const double v = levels_[index];
  if (v < low_ || v > high_) return -1;
  return area.bottom() - static_cast<int>((v - low_) / (high_ - low_) * area.height());
}

int WaveformPlot::LevelNear(int y) const {
  int nearest = -1, distance = kGrabPixels + 1;
  for (size_t i = 0; i < levels_.size(); ++i) {
    const int at = LevelY(i);
    if (at >= 0 && std::abs(at - y) < distance) {
      distance = std::abs(at - y);
      nearest = static_cast<int>(i);
    }
  }
  return nearest;
}

double WaveformPlot::VoltsAt(int y) const {
  const QRect area = PlotArea();
  const double v =
      low_ + (area.bottom() - y) * static_cast<double>(high_ - low_) / std::max(area.height(), 1);
  return std::clamp(v, -5.0, 5.0);
}

void WaveformPlot::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  dragging_ = event->button() == Qt::LeftButton && PlotArea().contains(at) ? LevelNear(at.y()) : -1;
  if (dragging_ < 0) PlotFrame::mousePressEvent(event);
}

void WaveformPlot::mouseMoveEvent(QMouseEvent* event) {
  const int y = event->position().toPoint().y();
  if (dragging_ >= 0) {
    emit levelDragged(dragging_, VoltsAt(y));
    return;
  }
  const bool over = PlotArea().contains(event->position().toPoint()) && LevelNear(y) >= 0;
  setCursor(over ? Qt::SizeVerCursor : Qt::ArrowCursor);
}

void WaveformPlot::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ >= 0) emit levelDragged(dragging_, VoltsAt(event->position().toPoint().y()));
  dragging_ = -1;
}

void WaveformPlot::SwapTraces(std::vector<acquisition::Trace>& traces, double pointIntervalMs) {
  traces_.swap(traces);
  intervalMs_ = pointIntervalMs;
  UpdateRange();
  update();
}

void WaveformPlot::SetFitToData(bool fit) {
  fit_ = fit;
  UpdateRange();
  update();
}

void WaveformPlot::SetNote(const QString& note) {
  if (note == note_) return;
  note_ = note;
  update();
}

void WaveformPlot::UpdateRange() {
  float low = -5, high = 5;
  if (fit_ && !traces_.empty()) {
    low = traces_.front().stats.minimum;
    high = traces_.front().stats.maximum;
    for (const auto& t : traces_) {
      low = std::min(low, t.stats.minimum);
      high = std::max(high, t.stats.maximum);
    }
    const float margin = std::max((high - low) * 0.1f, 0.05f);
    low -= margin;
    high += margin;
  }
  if (low != low_ || high != high_) {
    low_ = low;
    high_ = high;
    InvalidateBackground();
  }
}

void WaveformPlot::DrawBackground(QPainter& p) {
  const QRect area = PlotArea();
  // Volts: grid lines at round values, 0 V a little darker.
  const double vStep = NiceStep(high_ - low_, 10);
  for (double v = std::ceil(low_ / vStep) * vStep; v <= high_ + 1e-9; v += vStep) {
    const int y = area.bottom() - static_cast<int>((v - low_) / (high_ - low_) * area.height());
    DrawRow(p, y, QString::number(v, 'f', vStep < 0.1 ? 2 : (vStep < 1 ? 1 : 0)),
            std::abs(v) < vStep / 2 ? QColor(150, 150, 150) : QColor(225, 225, 225));
  }
  // Milliseconds.
  const double spanMs = backgroundSpanMs_;
  const double tStep = NiceStep(spanMs, 8);
  for (double t = 0; spanMs > 0 && t <= spanMs + 1e-9; t += tStep) {
    DrawColumn(p, area.left() + static_cast<int>(t / spanMs * area.width()),
               QString::number(t, 'f', 0));
  }
  DrawFrame(p, "V", "ms");
  // The legend's headings and, per trace, its colour and channel: they change only when the
  // channels do, unlike the figures drawn over them at every block.
  DrawLegend(p, {"最小", "最大", "平均", "有效值", "频率"}, backgroundChannels_);
}

void WaveformPlot::paintEvent(QPaintEvent*) {
  const int points = traces_.empty() ? 0 : static_cast<int>(traces_.front().volts.size());
  const double spanMs = points > 1 ? (points - 1) * intervalMs_ : 0;
  std::vector<int> channels;
  for (const auto& t : traces_) channels.push_back(t.channel);
  if (spanMs != backgroundSpanMs_ || channels != backgroundChannels_) {
    backgroundSpanMs_ = spanMs;
    backgroundChannels_ = channels;
    InvalidateBackground();
  }
  QPainter p(this);
  PaintBackground(p);
  if (traces_.empty()) DrawNoData(p);
  DrawTraces(p, points);
  DrawTrigger(p, points);
  DrawFigures(p);
  if (!note_.isEmpty()) {
    p.setPen(QColor(180, 0, 0));
    p.drawText(NoteArea(), Qt::AlignLeft | Qt::AlignVCenter, note_);
  }
}

// The traces, clipped to the plot: extreme codes lie on its edges.
void WaveformPlot::DrawTraces(QPainter& p, int points) const {
  const QRect area = PlotArea();
  p.setClipRect(area.adjusted(0, 0, 1, 1));
  const double yScale = area.height() / static_cast<double>(high_ - low_);
  for (size_t i = 0; i < traces_.size(); ++i) {
    const auto& volts = traces_[i].volts;
    QPolygonF line(static_cast<qsizetype>(volts.size()));
    for (size_t pt = 0; pt < volts.size(); ++pt) {
      const double x = area.left() + (points > 1 ? pt * area.width() / double(points - 1) : 0);
      const double y = area.bottom() - (volts[pt] - low_) * yScale;
      line[static_cast<qsizetype>(pt)] = QPointF(x, y);
    }
    p.setPen(QPen(TraceColour(static_cast<int>(i)), 0));  // a cosmetic pen: the fast one
    p.drawPolyline(line);
  }
  p.setClipping(false);
}

// The legend's figures; its names and headings are in the background.
void WaveformPlot::DrawFigures(QPainter& p) const {
  p.setPen(Qt::black);
  for (size_t i = 0; i < traces_.size(); ++i) {
    const int row = static_cast<int>(i);
    const auto& stats = traces_[i].stats;
    const float figures[] = {stats.minimum, stats.maximum, stats.mean, stats.rms};
    for (int column = 0; column < 4; ++column) {
      p.drawText(LegendCell(column, row), Qt::AlignLeft | Qt::AlignVCenter,
                 VoltText(figures[column]));
    }
    p.drawText(LegendCell(4, row), Qt::AlignLeft | Qt::AlignVCenter,
               stats.frequencyHz ? QString::number(*stats.frequencyHz, 'f', 2) + " Hz"
                                 : QStringLiteral("-"));
  }
}

// The levels as dashed lines across the plot, and the trigger as a line down it at its time
// with the caption beside it.
void WaveformPlot::DrawTrigger(QPainter& p, int points) const {
  const QRect area = PlotArea();
  p.setPen(QPen(kTriggerColour, 1, Qt::DashLine));
  for (size_t i = 0; i < levels_.size(); ++i) {
    const int y = LevelY(i);
    if (y < 0) continue;
    p.drawLine(area.left(), y, area.right(), y);
    p.drawText(QRect(area.right() - 90, y - kRowHeight, 86, kRowHeight),
               Qt::AlignRight | Qt::AlignBottom, VoltText(static_cast<float>(levels_[i])));
  }
  const double spanMs = points > 1 ? (points - 1) * intervalMs_ : 0;
  if (!markMs_ || spanMs <= 0 || *markMs_ < 0 || *markMs_ > spanMs) return;
  const int x = area.left() + static_cast<int>(*markMs_ / spanMs * area.width());
  p.setPen(QPen(kTriggerColour, 2));
  p.drawLine(x, area.top(), x, area.bottom());
  const QRect caption(x + 4, area.top() + 2, 200, kRowHeight);
  const bool left = caption.right() > area.right();
  p.drawText(left ? caption.translated(-caption.width() - 8, 0) : caption,
             (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, markCaption_);
}
