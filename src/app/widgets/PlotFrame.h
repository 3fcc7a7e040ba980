// What every plot draws alike (the waveform window's two and the recording's): the plot's place and
// its margins, the grid lines with their labels, the frame with its units, the legend's headings
// and its rows (a colour swatch and the trace's name), the note under the legend, and the
// background picture that holds all of it until the size or what it shows changes.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <vector>

class QPainter;

class PlotFrame : public QWidget {
  Q_OBJECT

 public:
  // Each trace's colour, the same in both plots.
  static QColor TraceColour(int index);
  QRect PlotArea() const;
  // Where the legend (its headings and one row per trace) and the note are drawn: the note
  // has a row of its own under the legend.
  QRect LegendArea() const;
  QRect NoteArea() const;

 protected:
  static constexpr int kRowHeight = 18;
  static constexpr int kMaxTraces = 4;

  // `columnWidth`: the width of each of the legend's figure columns.
  PlotFrame(int columnWidth, QWidget* parent);

  // The background drawn again at the next paint: what it shows has changed.
  void InvalidateBackground() { background_ = QPixmap(); }
  // Paints the background, drawing it first where it is missing or of another size.
  void PaintBackground(QPainter& p);
  // Draws the background of the current size onto a white picture.
  virtual void DrawBackground(QPainter& p) = 0;

  // A grid line across the plot at `y` with its label on the left, one down at `x` with its
  // label below.
  void DrawRow(QPainter& p, int y, const QString& label, const QColor& line) const;
  void DrawColumn(QPainter& p, int x, const QString& label, int labelWidth = 60) const;
  // The plot's frame, its value unit above the left labels and its axis unit bottom right.
  void DrawFrame(QPainter& p, const char* valueUnit, const char* axisUnit) const;
  // "尚无数据" in the middle of the plot.
  void DrawNoData(QPainter& p) const;
  // The legend's headings, and a row for each channel: its swatch and name.
  void DrawLegend(QPainter& p, const std::vector<const char*>& headings,
                  const std::vector<int>& channels) const;
  // The legend's cell of figure `column` on trace `row` (0 for the first trace).
  QRect LegendCell(int column, int row) const;

  void resizeEvent(QResizeEvent* event) override;

 private:
  int LegendTop() const;

  int columnWidth_;
  QPixmap background_;
};
