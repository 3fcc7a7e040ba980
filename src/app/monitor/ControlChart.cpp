#include "ControlChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "NumberForms.h"
#include "PlotScale.h"
#include "SpcReport.h"
#include "WidgetText.h"

namespace {

constexpr int kLegendColumn = 120;
const QColor kCentre(20, 150, 60);
const QColor kControl(220, 40, 40);
const QColor kSpecLimits(30, 110, 220);

// The rule's words in Chinese: "连续8点在中心线同侧".
QString RuleWords(int rule) {
  std::string text = spc::RuleText(rule);
  text = text.substr(text.find(' ') + 1);
  return ToQt(text.substr(0, text.find(" (")));
}

}  // namespace

ControlChart::ControlChart(QWidget* parent) : PlotFrame(kLegendColumn, parent) {
  setObjectName("picControlChart");
}

void ControlChart::Show(std::vector<spc::Sample> samples, spc::Analysis analysis,
                        const QString& title) {
  samples_ = std::move(samples);
  analysis_ = std::move(analysis);
  title_ = title;
  InvalidateBackground();
  update();
}

void ControlChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintBackground(p);
}

int ControlChart::Axes::Y(double v) const {
  return area.bottom() - int(std::lround((v - low) / (high - low) * area.height()));
}

int ControlChart::Axes::X(size_t i) const {
  return count < 2 ? area.center().x()
                   : area.left() + int(std::lround(double(i) * area.width() / double(count - 1)));
}

double ControlChart::Value(size_t i) const {
  return *samples_[analysis_.points[i]].value;
}

ControlChart::Lines ControlChart::ChartLines() const {
  const auto& s = analysis_.statistics;
  Lines lines;
  if (analysis_.chart) {
    const auto& c = analysis_.chart->individuals;
    lines = {{c.centre, kCentre}, {c.lower, kControl}, {c.upper, kControl}};
  }
  if (s.low) lines.push_back({*s.low, kSpecLimits});
  if (s.high) lines.push_back({*s.high, kSpecLimits});
  return lines;
}

// Every point and line in view, with a twentieth to spare above and below.
ControlChart::Axes ControlChart::AxesFor(const QRect& area, const Lines& lines) const {
  const size_t count = analysis_.points.size();
  double low = Value(0), high = Value(0);
  for (size_t i = 0; i < count; ++i) {
    low = std::min(low, Value(i));
    high = std::max(high, Value(i));
  }
  for (const auto& [y, colour] : lines) {
    low = std::min(low, y);
    high = std::max(high, y);
  }
  if (high - low <= 0) {
    low -= 1;
    high += 1;
  }
  const double margin = (high - low) * 0.05;
  return {.area = area, .low = low - margin, .high = high + margin, .count = count};
}

void ControlChart::DrawBackground(QPainter& p) {
  const QRect area = PlotArea();
  p.setPen(Qt::black);
  p.drawText(QRect(area.left(), 2, area.width(), 18), Qt::AlignHCenter, title_);
  if (analysis_.points.empty()) {
    DrawFrame(p, "", "次 runs");
    DrawNoData(p);
    return;
  }
  const Lines lines = ChartLines();
  const Axes axes = AxesFor(area, lines);
  DrawGrid(p, axes);
  p.setClipRect(area.adjusted(0, -1, 1, 1));
  DrawPoints(p, axes, lines);
  p.setClipping(false);
  p.setBrush(Qt::NoBrush);
  DrawLegend(p, area);
  p.setPen(Qt::black);
}

void ControlChart::DrawGrid(QPainter& p, const Axes& axes) {
  const double step = NiceStep(axes.high - axes.low, 6);
  for (double v = std::ceil(axes.low / step) * step; v <= axes.high; v += step) {
    DrawRow(p, axes.Y(v), ToQt(numtext::Fixed(v, std::max(0, -int(std::floor(std::log10(step)))))),
            QColor(225, 225, 225));
  }
  const double columns = NiceStep(double(axes.count), 8);
  for (double i = 0; i < double(axes.count); i += std::max(1.0, columns)) {
    DrawColumn(p, axes.X(size_t(i)), QString::number(size_t(i) + 1));
  }
  const std::string unit = samples_[analysis_.points[0]].unit;
  DrawFrame(p, unit.c_str(), "次 runs");
}

// The lines, the points joined in the runs' order, and the points that break a rule marked.
void ControlChart::DrawPoints(QPainter& p, const Axes& axes, const Lines& lines) {
  const QRect& area = axes.area;
  for (const auto& [y, colour] : lines) {
    p.setPen(QPen(colour, 1, colour == kSpecLimits ? Qt::DashLine : Qt::SolidLine));
    p.drawLine(area.left(), axes.Y(y), area.right(), axes.Y(y));
  }
  QPainterPath path;
  for (size_t i = 0; i < axes.count; ++i) {
    if (i == 0)
      path.moveTo(axes.X(i), axes.Y(Value(i)));
    else
      path.lineTo(axes.X(i), axes.Y(Value(i)));
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawPath(path);
  std::vector<int> ruleOf(axes.count, 0);
  for (const spc::Violation& v : analysis_.violations) {
    for (size_t i = v.first; i <= v.last && i < axes.count; ++i) {
      if (ruleOf[i] == 0) ruleOf[i] = v.rule;
    }
  }
  for (size_t i = 0; i < axes.count; ++i) {
    const QPoint at(axes.X(i), axes.Y(Value(i)));
    p.setBrush(ruleOf[i] ? kControl : QColor(Qt::black));
    p.setPen(Qt::NoPen);
    p.drawEllipse(at, ruleOf[i] ? 4 : 2, ruleOf[i] ? 4 : 2);
    // The rule's number over the last point of each stretch that breaks it.
    if (ruleOf[i] && (i + 1 == axes.count || ruleOf[i + 1] != ruleOf[i])) {
      p.setPen(kControl);
      p.drawText(QRect(at.x() - 10, at.y() - 20, 20, 14), Qt::AlignCenter,
                 QString::number(ruleOf[i]));
    }
  }
}

// The legend: the lines, then each rule broken with its stretch.
void ControlChart::DrawLegend(QPainter& p, const QRect& area) {
  const auto& points = analysis_.points;
  QRect legend = LegendArea().adjusted(area.left(), 0, 0, 0);
  p.setPen(Qt::black);
  QString key = "— 中心线 CL   — 控制限 UCL/LCL   - - 规格限 limits";
  if (analysis_.chart) {
    const auto& c = analysis_.chart->individuals;
    key += QString("    CL %1  UCL %2  LCL %3")
               .arg(ToQt(numtext::General(c.centre, 5)), ToQt(numtext::General(c.upper, 5)),
                    ToQt(numtext::General(c.lower, 5)));
  }
  p.drawText(QRect(legend.left(), legend.top(), legend.width(), kRowHeight),
             Qt::AlignLeft | Qt::AlignVCenter, key);
  int row = 1;
  for (const spc::Violation& v : analysis_.violations) {
    if (row > kMaxTraces) break;
    p.setPen(kControl);
    p.drawText(QRect(legend.left(), legend.top() + row * kRowHeight, legend.width(), kRowHeight),
               Qt::AlignLeft | Qt::AlignVCenter,
               QString("规则%1: %2 — 点 %3-%4 (%5)")
                   .arg(v.rule)
                   .arg(RuleWords(v.rule))
                   .arg(v.first + 1)
                   .arg(v.last + 1)
                   .arg(ToQt(samples_[points[v.last]].started)));
    ++row;
  }
  if (analysis_.violations.empty()) {
    p.drawText(QRect(legend.left(), legend.top() + kRowHeight, legend.width(), kRowHeight),
               Qt::AlignLeft | Qt::AlignVCenter, analysis_.chart ? "未见判异 no rule broken" : "");
  }
}
