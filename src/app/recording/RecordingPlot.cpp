#include "RecordingPlot.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "Description.h"
#include "PlotScale.h"
#include "Waveform.h"
#include "WidgetText.h"

namespace {

constexpr int kColumnWidth = 96;
constexpr int64_t kSecond = 1'000'000;
// Time grid steps, in µs: the first that gives at most about eight lines.
constexpr int64_t kTimeSteps[] = {1'000,           2'000,           5'000,          10'000,
                                  20'000,          50'000,          100'000,        200'000,
                                  500'000,         kSecond,         2 * kSecond,    5 * kSecond,
                                  10 * kSecond,    15 * kSecond,    30 * kSecond,   60 * kSecond,
                                  120 * kSecond,   300 * kSecond,   600 * kSecond,  900 * kSecond,
                                  1800 * kSecond,  3600 * kSecond,  7200 * kSecond, 10800 * kSecond,
                                  21600 * kSecond, 43200 * kSecond, 86400 * kSecond};

QDateTime LocalOf(int64_t utcMicros) {
  return QDateTime::fromMSecsSinceEpoch(utcMicros / 1000);
}

}  // namespace

RecordingPlot::RecordingPlot(QWidget* parent) : PlotFrame(kColumnWidth, parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
}

void RecordingPlot::SetView(recording::RecordingView* view) {
  view_ = view;
  ShowAll();
}

void RecordingPlot::SetChannels(const std::vector<int>& channels) {
  channels_ = channels;
  Gather();
  update();
}

void RecordingPlot::SetFitToData(bool fit) {
  fit_ = fit;
  Gather();
  update();
}

void RecordingPlot::ShowAll() {
  if (!view_) return;
  SetSpan(view_->startMicros(), view_->endMicros());
}

void RecordingPlot::SetSpan(int64_t from, int64_t to) {
  if (!view_) return;
  const int64_t start = view_->startMicros(), end = std::max(view_->endMicros(), start + 1);
  const int64_t least = std::min<int64_t>(20 * view_->sampleMicros(), end - start);
  if (to - from < least) {  // a few samples at the most zoomed
    const int64_t middle = from / 2 + to / 2;
    from = middle - least / 2;
    to = from + least;
  }
  const int64_t span = std::min(to - from, end - start);
  from = std::clamp(from, start, end - span);
  from_ = from;
  to_ = from + span;
  Gather();
  update();
  emit spanChanged();
}

void RecordingPlot::Zoom(double factor, double atFraction) {
  const double span = static_cast<double>(to_ - from_);
  const double at = static_cast<double>(from_) + span * atFraction;
  const double wider = span * factor;
  SetSpan(static_cast<int64_t>(at - wider * atFraction),
          static_cast<int64_t>(at - wider * atFraction + wider));
}

void RecordingPlot::Pan(double fraction) {
  const auto step = static_cast<int64_t>(static_cast<double>(to_ - from_) * fraction);
  SetSpan(from_ + step, to_ + step);
}

// The samples themselves while the span holds few enough blocks to read (each column
// then the exact range of its samples, or a line through them once they are fewer than the
// pixels), else the summaries' ranges.
void RecordingPlot::Gather() {
  columns_.assign(channels_.size(), {});
  sampled_.assign(channels_.size(), {});
  samples_ = false;
  if (!view_) return;
  const int width = PlotArea().width();
  bool read = !channels_.empty();
  for (size_t i = 0; i < channels_.size() && read; ++i) {
    read =
        view_->Samples(channels_[i], from_, to_, kSampledBlocks * recording::kPoints, sampled_[i]);
  }
  samples_ = read;
  for (size_t i = 0; i < channels_.size() && read; ++i)
    samples_ = samples_ && sampled_[i].size() <= static_cast<size_t>(width);
  float low = 1e30f, high = -1e30f;
  for (size_t i = 0; i < channels_.size(); ++i) {
    if (read && !samples_) {
      ColumnsOfSamples(sampled_[i], width, columns_[i]);
      sampled_[i].clear();
    } else if (!read) {
      view_->Columns(channels_[i], from_, to_, width, columns_[i]);
    }
    for (const auto& s : sampled_[i]) {
      low = std::min(low, s.volts);
      high = std::max(high, s.volts);
    }
    for (const auto& c : columns_[i]) {
      if (!c.any) continue;
      low = std::min(low, c.least);
      high = std::max(high, c.greatest);
    }
  }
  float newLow = -5, newHigh = 5;
  if (fit_ && low <= high) {
    const float margin = std::max((high - low) * 0.1f, 0.05f);
    newLow = low - margin;
    newHigh = high + margin;
  }
  low_ = newLow;
  high_ = newHigh;
  InvalidateBackground();
}

void RecordingPlot::ColumnsOfSamples(const std::vector<recording::ViewSample>& samples, int width,
                                     std::vector<recording::ViewColumn>& columns) const {
  columns.assign(static_cast<size_t>(std::max(width, 0)), recording::ViewColumn{});
  const double perColumn = static_cast<double>(to_ - from_) / std::max(width, 1);
  for (const recording::ViewSample& s : samples) {
    const auto c = static_cast<int>(static_cast<double>(s.utcMicros - from_) / perColumn);
    if (c < 0 || c >= width) continue;
    recording::ViewColumn& column = columns[c];
    column.least = column.any ? std::min(column.least, s.volts) : s.volts;
    column.greatest = column.any ? std::max(column.greatest, s.volts) : s.volts;
    column.any = true;
  }
}

double RecordingPlot::XOf(int64_t t) const {
  const QRect area = PlotArea();
  return area.left() +
         static_cast<double>(t - from_) / static_cast<double>(to_ - from_) * area.width();
}

int64_t RecordingPlot::TimeAt(double x) const {
  const QRect area = PlotArea();
  return from_ +
         static_cast<int64_t>((x - area.left()) / area.width() * static_cast<double>(to_ - from_));
}

int RecordingPlot::YOf(float volts) const {
  const QRect area = PlotArea();
  const double f = (static_cast<double>(volts) - low_) / (high_ - low_);
  return area.bottom() - static_cast<int>(std::lround(std::clamp(f, -0.05, 1.05) * area.height()));
}

void RecordingPlot::DrawTimeAxis(QPainter& p) const {
  const int64_t span = to_ - from_;
  int64_t step = kTimeSteps[std::size(kTimeSteps) - 1];
  for (int64_t s : kTimeSteps) {
    if (span / s <= 8) {
      step = s;
      break;
    }
  }
  // Steps of a second and more fall on the local clock's whole seconds, minutes, hours.
  const int64_t offset = static_cast<int64_t>(LocalOf(from_).offsetFromUtc()) * kSecond;
  const QString format = step < kSecond           ? "HH:mm:ss.zzz"
                         : span < 86400 * kSecond ? "HH:mm:ss"
                                                  : "MM-dd HH:mm";
  int64_t t = ((from_ + offset) / step + 1) * step - offset;
  // A label that would run past the widget's edge is left off (its line stays), never cut.
  const QFontMetrics metrics(p.font());
  for (; t < to_; t += step) {
    const int x = static_cast<int>(std::lround(XOf(t)));
    const QString label = LocalOf(t).toString(format);
    const int half = metrics.horizontalAdvance(label) / 2 + 1;
    DrawColumn(p, x, x - half >= 0 && x + half <= width() ? label : QString(), 100);
  }
}

void RecordingPlot::DrawBackground(QPainter& p) {
  const QRect area = PlotArea();
  const double step = NiceStep(high_ - low_, 8);
  for (double v = std::ceil(low_ / step) * step; v <= high_ + 1e-9; v += step) {
    DrawRow(p, YOf(static_cast<float>(v)), QString::number(v, 'g', 4),
            std::abs(v) < step / 2 ? QColor(160, 160, 160) : QColor(225, 225, 225));
  }
  if (view_) DrawTimeAxis(p);
  DrawFrame(p, "V", "本地时间");
  DrawLegend(p, {}, channels_);
  if (!view_ || view_->rows().empty()) DrawNoData(p);
  (void)area;
}

void RecordingPlot::DrawGaps(QPainter& p) const {
  if (!view_) return;
  const QRect area = PlotArea();
  for (const recording::ViewGap& g : view_->Gaps(from_, to_)) {
    const int left = std::max(area.left(), static_cast<int>(XOf(g.fromMicros)));
    const int right = std::min(area.right(), static_cast<int>(std::ceil(XOf(g.toMicros))));
    const QRect band(left, area.top() + 1, std::max(2, right - left), area.height() - 1);
    p.fillRect(band, QColor(255, 220, 200, 160));
    const QString label = g.flags == recording::kDamaged   ? QString("损坏")
                          : (g.flags & recording::kPaused) ? QString("停止")
                                                           : QString("丢失 %1 块").arg(g.count);
    p.setPen(QColor(160, 60, 20));
    p.drawText(QRect(band.left() + 2, area.top() + 2, 90, 16), Qt::AlignLeft | Qt::AlignTop, label);
  }
}

void RecordingPlot::DrawTraces(QPainter& p) const {
  const QRect area = PlotArea();
  p.setClipRect(area.adjusted(1, 1, 0, 0));
  for (size_t i = 0; i < channels_.size(); ++i) {
    p.setPen(QPen(TraceColour(static_cast<int>(i)), 1));
    if (samples_) {
      QPolygonF line;
      const int64_t gapAfter = 2 * (view_ ? view_->sampleMicros() : 1);
      for (size_t k = 0; k < sampled_[i].size(); ++k) {
        const auto& s = sampled_[i][k];
        if (k > 0 && s.utcMicros - sampled_[i][k - 1].utcMicros > gapAfter) {
          p.drawPolyline(line);  // no line across a gap
          line.clear();
        }
        line << QPointF(XOf(s.utcMicros), YOf(s.volts));
      }
      p.drawPolyline(line);
      if (sampled_[i].size() < static_cast<size_t>(area.width() / 6)) {
        for (const QPointF& point : line) p.drawEllipse(point, 2, 2);  // single samples
      }
      continue;
    }
    const auto& columns = columns_[i];
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!columns[c].any) continue;
      const int x = area.left() + static_cast<int>(c);
      p.drawLine(x, YOf(columns[c].least), x, YOf(columns[c].greatest));
      if (c > 0 && columns[c - 1].any) {  // joined to the column before
        const int before = YOf((columns[c - 1].least + columns[c - 1].greatest) / 2);
        const int now = YOf((columns[c].least + columns[c].greatest) / 2);
        p.drawLine(x - 1, before, x, now);
      }
    }
  }
  p.setClipping(false);
}

void RecordingPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintBackground(p);
  DrawGaps(p);
  DrawTraces(p);
}

void RecordingPlot::resizeEvent(QResizeEvent* event) {
  PlotFrame::resizeEvent(event);
  Gather();  // a column for each pixel of the new width
}

void RecordingPlot::wheelEvent(QWheelEvent* event) {
  const QRect area = PlotArea();
  const double at = std::clamp((event->position().x() - area.left()) / area.width(), 0.0, 1.0);
  Zoom(event->angleDelta().y() > 0 ? 0.8 : 1.25, at);
  event->accept();
}

void RecordingPlot::mousePressEvent(QMouseEvent* event) {
  dragX_ = event->position().x();
  dragFrom_ = from_;
}

void RecordingPlot::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || dragX_ < 0) return;
  const double moved = (event->position().x() - dragX_) / PlotArea().width();
  const auto shift = static_cast<int64_t>(moved * static_cast<double>(to_ - from_));
  SetSpan(dragFrom_ - shift, dragFrom_ - shift + (to_ - from_));
}

void RecordingPlot::mouseDoubleClickEvent(QMouseEvent*) {
  ShowAll();
}

void RecordingPlot::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      Zoom(0.5);
      break;
    case Qt::Key_Minus:
      Zoom(2);
      break;
    case Qt::Key_Left:
      Pan(-0.25);
      break;
    case Qt::Key_Right:
      Pan(0.25);
      break;
    case Qt::Key_Home:
      ShowAll();
      break;
    default:
      PlotFrame::keyPressEvent(event);
  }
}

// The time under the pointer, local and UTC, and each trace's value there.
bool RecordingPlot::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip || !view_) return PlotFrame::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  if (!PlotArea().contains(help->pos())) {
    QToolTip::hideText();
    return true;
  }
  const int64_t t = TimeAt(help->pos().x());
  QString text =
      LocalOf(t).toString("yyyy-MM-dd HH:mm:ss.zzz") + "\nUTC " + ToQt(recording::UtcText(t));
  const int column = help->pos().x() - PlotArea().left();
  for (size_t i = 0; i < channels_.size(); ++i) {
    QString value;
    if (samples_) {
      const auto near = std::min_element(
          sampled_[i].begin(), sampled_[i].end(), [t](const auto& a, const auto& b) {
            return std::abs(a.utcMicros - t) < std::abs(b.utcMicros - t);
          });
      if (near != sampled_[i].end()) value = QString::number(near->volts, 'f', 5) + " V";
    } else if (column >= 0 && column < static_cast<int>(columns_[i].size()) &&
               columns_[i][column].any) {
      value = QString("%1 … %2 V")
                  .arg(columns_[i][column].least, 0, 'f', 5)
                  .arg(columns_[i][column].greatest, 0, 'f', 5);
    }
    if (!value.isEmpty()) text += "\n" + ToQt(acquisition::TraceName(channels_[i])) + ": " + value;
  }
  QToolTip::showText(help->globalPos(), text, this);
  return true;
}
