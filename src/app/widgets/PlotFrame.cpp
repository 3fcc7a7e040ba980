#include "PlotFrame.h"

#include <QPainter>
#include <algorithm>

#include "Waveform.h"
#include "WidgetText.h"

namespace {

constexpr int kNameWidth = 100;  // "通道64 (Ch 63)"
constexpr int kLeft = 56;        // room for the value labels
constexpr int kTop = 24;         // room for the unit above them
constexpr int kBelow = 28;       // the axis labels and unit under the plot

}  // namespace

PlotFrame::PlotFrame(int columnWidth, QWidget* parent)
    : QWidget(parent), columnWidth_(columnWidth) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(480, 300);
}

QColor PlotFrame::TraceColour(int index) {
  static const QColor colours[kMaxTraces] = {QColor(220, 40, 40), QColor(30, 110, 220),
                                             QColor(20, 150, 60), QColor(200, 120, 0)};
  return colours[index % kMaxTraces];
}

QRect PlotFrame::PlotArea() const {
  // The headings, a row per trace and the note's row under the plot.
  const int legend = kRowHeight * (kMaxTraces + 2) + 8;
  return QRect(kLeft, kTop, std::max(10, width() - kLeft - 14),
               std::max(10, height() - kTop - kBelow - legend));
}

int PlotFrame::LegendTop() const {
  return PlotArea().bottom() + kBelow;
}

QRect PlotFrame::LegendArea() const {
  return QRect(0, LegendTop(), width(), (kMaxTraces + 1) * kRowHeight);
}

QRect PlotFrame::NoteArea() const {
  const QRect area = PlotArea();
  return QRect(area.left(), height() - kRowHeight, area.width(), kRowHeight);
}

QRect PlotFrame::LegendCell(int column, int row) const {
  return QRect(PlotArea().left() + 24 + kNameWidth + column * columnWidth_,
               LegendTop() + (row + 1) * kRowHeight, columnWidth_, kRowHeight);
}

void PlotFrame::resizeEvent(QResizeEvent*) {
  InvalidateBackground();
}

void PlotFrame::PaintBackground(QPainter& p) {
  if (background_.isNull() || background_.size() != size()) {
    background_ = QPixmap(size());
    background_.fill(Qt::white);
    QPainter painter(&background_);
    DrawBackground(painter);
  }
  p.drawPixmap(0, 0, background_);
}

void PlotFrame::DrawRow(QPainter& p, int y, const QString& label, const QColor& line) const {
  const QRect area = PlotArea();
  p.setPen(line);
  p.drawLine(area.left(), y, area.right(), y);
  p.setPen(Qt::black);
  p.drawText(QRect(0, y - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter, label);
}

void PlotFrame::DrawColumn(QPainter& p, int x, const QString& label, int labelWidth) const {
  const QRect area = PlotArea();
  p.setPen(QColor(225, 225, 225));
  p.drawLine(x, area.top(), x, area.bottom());
  p.setPen(Qt::black);
  p.drawText(QRect(x - labelWidth / 2, area.bottom() + 3, labelWidth, 14),
             Qt::AlignHCenter | Qt::AlignTop, label);
}

void PlotFrame::DrawFrame(QPainter& p, const char* valueUnit, const char* axisUnit) const {
  const QRect area = PlotArea();
  p.setPen(Qt::black);
  p.drawRect(area);
  p.drawText(QRect(0, 2, area.left() - 6, 14), Qt::AlignRight, valueUnit);
  p.drawText(QRect(area.right() - 60, area.bottom() + 15, 60, 14), Qt::AlignRight, axisUnit);
}

void PlotFrame::DrawNoData(QPainter& p) const {
  p.setPen(Qt::darkGray);
  p.drawText(PlotArea(), Qt::AlignCenter, "尚无数据");
  p.setPen(Qt::black);
}

void PlotFrame::DrawLegend(QPainter& p, const std::vector<const char*>& headings,
                           const std::vector<int>& channels) const {
  for (size_t c = 0; c < headings.size(); ++c) {
    p.drawText(LegendCell(static_cast<int>(c), -1), Qt::AlignLeft | Qt::AlignVCenter, headings[c]);
  }
  const int left = PlotArea().left();
  for (size_t i = 0; i < channels.size(); ++i) {
    const int y = LegendCell(0, static_cast<int>(i)).top();
    p.fillRect(QRect(left, y + 6, 18, 6), TraceColour(static_cast<int>(i)));
    p.drawText(QRect(left + 24, y, kNameWidth, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               ToQt(acquisition::TraceName(channels[i])));
  }
}
