// The summary's text field. Its lines are fixed-pitch ASCII that never wrap, so a changed
// line can be shown without laying it out: its place follows from the line height and the
// character width, and it is put together from character cells, each character drawn once
// by Qt into its cell. The document still holds every character, so reading, selecting, copying
// and the context menu are the plain text field's own; whatever needs the layout (a
// selection, the focus, a line that is not plain ASCII or would wrap) gets it, laid out on
// demand, and the field paints as any other.
#pragma once

#include <QImage>
#include <QPlainTextEdit>
#include <array>
#include <vector>

class QRawFont;

class SummaryField : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit SummaryField(QWidget* parent = nullptr);

  // Whether `line` can be shown without a layout: printable ASCII that fits the width.
  bool FitsFixedPitch(QStringView line);

  // The document edits between these two calls replace whole lines, each with one that
  // fits (FitsFixedPitch): the lines are not laid out, and only their own rectangles are
  // repainted. `lines` are the block numbers of the lines replaced.
  void BeginLineEdits();
  void EndLineEdits(const std::vector<int>& lines);

  // The text was set anew: the measures are learnt again from it when next needed.
  void Recalibrate() { calibrationTried_ = calibrated_ = false; }

  // True when the last paint drew the lines itself, without their layout.
  bool paintedWithoutLayout() const { return paintedWithoutLayout_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class LineEditLayout;

  // Learns the line height, the origin of a line's first glyph and the character width
  // from a line Qt has laid out, and each printable ASCII character's glyph. False when no
  // line of plain ASCII in view fits one row; tried once until the text, size or font change.
  bool Calibrate();
  bool CanPaintLines();
  void DrawCells(const QRawFont& font);
  void PaintLines(QPainter& painter, const QRect& area);

  LineEditLayout* layout_;
  bool calibrated_ = false;
  bool calibrationTried_ = false;  // since the last change of text, size or font
  qreal lineHeight_ = 0;
  QPointF origin_;  // a line's first glyph, from the line's top left
  qreal advance_ = 0;
  QImage cells_;                    // the printable ASCII characters side by side
  std::array<bool, 95> hasCell_{};  // the font has the character's glyph
  QImage line_;                     // one line put together, reused from line to line
  bool paintedWithoutLayout_ = false;
};
