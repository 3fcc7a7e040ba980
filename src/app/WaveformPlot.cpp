#include "WaveformPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "PlotScale.h"

namespace {

constexpr int kLegendRowHeight = 18;
constexpr int kColumnWidth = 96;
constexpr int kNameWidth = 100;  // "通道64 (Ch 63)"
constexpr int kMaxTraces = 4;
constexpr int kLegendRows = kMaxTraces + 1;  // the headings, then one row per trace

QString VoltText(float volts) {
  return QString::number(static_cast<double>(volts), 'f', 3) + " V";
}

}  // namespace

WaveformPlot::WaveformPlot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(480, 300);
}

QColor WaveformPlot::TraceColour(int index) {
  static const QColor colours[kMaxTraces] = {QColor(220, 40, 40), QColor(30, 110, 220),
                                             QColor(20, 150, 60), QColor(200, 120, 0)};
  return colours[index % kMaxTraces];
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
    background_ = QPixmap();
  }
}

QRect WaveformPlot::PlotArea() const {
  const int legend = kLegendRowHeight * (kLegendRows + 1) + 8;  // and the note's row
  constexpr int kTop = 24;  // room for the unit above the volt labels
  return QRect(56, kTop, std::max(10, width() - 56 - 14),
               std::max(10, height() - kTop - 28 - legend));
}

void WaveformPlot::resizeEvent(QResizeEvent*) {
  background_ = QPixmap();
}

void WaveformPlot::DrawBackground() {
  background_ = QPixmap(size());
  background_.fill(Qt::white);
  QPainter p(&background_);
  const QRect area = PlotArea();
  const QFontMetrics metrics(font());
  // Volts: grid lines at round values, 0 V a little darker.
  const double vStep = NiceStep(high_ - low_, 10);
  for (double v = std::ceil(low_ / vStep) * vStep; v <= high_ + 1e-9; v += vStep) {
    const int y = area.bottom() - static_cast<int>((v - low_) / (high_ - low_) * area.height());
    p.setPen(std::abs(v) < vStep / 2 ? QColor(150, 150, 150) : QColor(225, 225, 225));
    p.drawLine(area.left(), y, area.right(), y);
    p.setPen(Qt::black);
    p.drawText(QRect(0, y - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(v, 'f', vStep < 0.1 ? 2 : (vStep < 1 ? 1 : 0)));
  }
  // Milliseconds.
  const double spanMs = backgroundSpanMs_;
  const double tStep = NiceStep(spanMs, 8);
  for (double t = 0; spanMs > 0 && t <= spanMs + 1e-9; t += tStep) {
    const int x = area.left() + static_cast<int>(t / spanMs * area.width());
    p.setPen(QColor(225, 225, 225));
    p.drawLine(x, area.top(), x, area.bottom());
    p.setPen(Qt::black);
    p.drawText(QRect(x - 30, area.bottom() + 3, 60, 14), Qt::AlignHCenter | Qt::AlignTop,
               QString::number(t, 'f', 0));
  }
  p.setPen(Qt::black);
  p.drawRect(area);
  p.drawText(QRect(0, 2, area.left() - 6, 14), Qt::AlignRight, "V");
  p.drawText(QRect(area.right() - 60, area.bottom() + 15, 60, 14), Qt::AlignRight, "ms");

  // The legend's headings and, per trace, its colour and channel: they change only when the
  // channels do, unlike the figures drawn over them at every block.
  int y = LegendTop();
  const char* headings[] = {"最小", "最大", "平均", "有效值", "频率"};
  for (int column = 0; column < 5; ++column) {
    p.drawText(QRect(LegendColumn(column), y, kColumnWidth, kLegendRowHeight),
               Qt::AlignLeft | Qt::AlignVCenter, headings[column]);
  }
  for (size_t i = 0; i < backgroundChannels_.size(); ++i) {
    y += kLegendRowHeight;
    p.fillRect(QRect(area.left(), y + 6, 18, 6), TraceColour(static_cast<int>(i)));
    p.drawText(QRect(area.left() + 24, y, kNameWidth, kLegendRowHeight),
               Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(acquisition::TraceName(backgroundChannels_[i])));
  }
}

int WaveformPlot::LegendTop() const {
  return PlotArea().bottom() + 28;
}

int WaveformPlot::LegendColumn(int column) const {
  return PlotArea().left() + 24 + kNameWidth + column * kColumnWidth;
}

QRect WaveformPlot::LegendArea() const {
  return QRect(0, LegendTop(), width(), kLegendRows * kLegendRowHeight);
}

QRect WaveformPlot::NoteArea() const {
  const QRect area = PlotArea();
  return QRect(area.left(), height() - kLegendRowHeight, area.width(), kLegendRowHeight);
}

void WaveformPlot::paintEvent(QPaintEvent*) {
  const int points = traces_.empty() ? 0 : static_cast<int>(traces_.front().volts.size());
  const double spanMs = points > 1 ? (points - 1) * intervalMs_ : 0;
  std::vector<int> channels;
  for (const auto& t : traces_) channels.push_back(t.channel);
  if (background_.isNull() || background_.size() != size() || spanMs != backgroundSpanMs_ ||
      channels != backgroundChannels_) {
    backgroundSpanMs_ = spanMs;
    backgroundChannels_ = channels;
    DrawBackground();
  }
  QPainter p(this);
  p.drawPixmap(0, 0, background_);
  const QRect area = PlotArea();
  if (traces_.empty()) {
    p.setPen(Qt::darkGray);
    p.drawText(area, Qt::AlignCenter, "尚无数据");
  }
  // The traces, clipped to the plot: extreme codes lie on its edges.
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
  // The legend's figures; its names and headings are in the background.
  p.setPen(Qt::black);
  int y = LegendTop();
  for (size_t i = 0; i < traces_.size(); ++i) {
    y += kLegendRowHeight;
    const auto& stats = traces_[i].stats;
    const float figures[] = {stats.minimum, stats.maximum, stats.mean, stats.rms};
    for (int column = 0; column < 4; ++column) {
      p.drawText(QRect(LegendColumn(column), y, kColumnWidth, kLegendRowHeight),
                 Qt::AlignLeft | Qt::AlignVCenter, VoltText(figures[column]));
    }
    p.drawText(QRect(LegendColumn(4), y, kColumnWidth, kLegendRowHeight),
               Qt::AlignLeft | Qt::AlignVCenter,
               stats.frequencyHz ? QString::number(*stats.frequencyHz, 'f', 2) + " Hz"
                                 : QStringLiteral("-"));
  }
  if (!note_.isEmpty()) {
    p.setPen(QColor(180, 0, 0));
    p.drawText(NoteArea(), Qt::AlignLeft | Qt::AlignVCenter, note_);
  }
}
