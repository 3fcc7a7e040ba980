#include "SummaryField.h"

#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QRawFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

// The field's layout, which leaves the lines alone while the summary replaces them: they
// are laid out when something asks for their geometry, as Qt does for any line it has not
// laid out yet.
class SummaryField::LineEditLayout : public QPlainTextDocumentLayout {
 public:
  using QPlainTextDocumentLayout::QPlainTextDocumentLayout;
  bool deferring = false;

 protected:
  void documentChanged(int from, int charsRemoved, int charsAdded) override {
    if (!deferring) QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
  }
};

namespace {

constexpr char16_t kFirstCell = 0x20;  // the printable ASCII characters, space to tilde
constexpr int kCellCount = 0x7F - 0x20;

bool PrintableAscii(QChar c) {
  return c.unicode() >= kFirstCell && c.unicode() < kFirstCell + kCellCount;
}

}  // namespace

SummaryField::SummaryField(QWidget* parent) : QPlainTextEdit(parent) {
  auto* document = new QTextDocument(this);
  layout_ = new LineEditLayout(document);
  document->setDocumentLayout(layout_);
  document->setDefaultFont(font());
  setDocument(document);
}

bool SummaryField::FitsFixedPitch(QStringView line) {
  if (!Calibrate()) return false;
  const qreal room = viewport()->width() - 2 * document()->documentMargin();
  if (origin_.x() + line.size() * advance_ > viewport()->width() || line.size() * advance_ > room)
    return false;
  for (QChar c : line) {
    if (!PrintableAscii(c) || !hasCell_[c.unicode() - kFirstCell]) return false;
  }
  return true;
}

void SummaryField::BeginLineEdits() {
  layout_->deferring = true;
}

void SummaryField::EndLineEdits(const std::vector<int>& lines) {
  layout_->deferring = false;
  QTextDocument* doc = document();
  const int first = firstVisibleBlock().blockNumber();
  const qreal top = contentOffset().y();
  for (int number : lines) {
    QTextBlock block = doc->findBlockByNumber(number);
    block.clearLayout();  // laid out anew when asked for, with the new text
    if (number < first) continue;
    const qreal y = top + (number - first) * lineHeight_;
    if (y > viewport()->height()) continue;
    viewport()->update(QRect(0, static_cast<int>(std::floor(y)), viewport()->width(),
                             static_cast<int>(std::ceil(lineHeight_)) + 1));
  }
}

bool SummaryField::Calibrate() {
  if (calibrationTried_) return calibrated_;
  calibrationTried_ = true;
  calibrated_ = false;
  for (QTextBlock block = firstVisibleBlock(); block.isValid() && block.next().isValid();
       block = block.next()) {
    const QString text = block.text();
    if (text.size() < 2 || !std::all_of(text.begin(), text.end(), PrintableAscii)) continue;
    const QRectF box = layout_->blockBoundingRect(block);  // lays the line out
    QTextLayout* lines = block.layout();
    // A block's layout does not hold the text itself: the range is given.
    const QList<QGlyphRun> runs = lines->glyphRuns(0, static_cast<int>(text.size()));
    if (lines->lineCount() != 1 || runs.size() != 1) continue;
    const QList<QPointF> positions = runs.front().positions();
    if (positions.size() != text.size()) continue;
    const qreal advance = positions[1].x() - positions[0].x();
    for (qsizetype i = 2; i < positions.size(); ++i) {
      if (positions[i].x() - positions[i - 1].x() != advance) return false;  // not fixed pitch
    }
    origin_ = lines->position() + positions.front();
    advance_ = advance;
    lineHeight_ = box.height();
    // Lines are put together from character cells of whole pixels; the baseline keeps its
    // fraction, which every cell and line shares.
    const auto whole = [](qreal v) { return v == std::floor(v); };
    if (viewport()->devicePixelRatioF() != 1 || !whole(origin_.x()) || !whole(advance_) ||
        !whole(lineHeight_) || !whole(contentOffset().y()) || advance_ < 1) {
      return false;
    }
    DrawCells(runs.front().rawFont());
    calibrated_ = true;
    return true;
  }
  return false;
}

// Lines drawn by the field itself show just what Qt would draw: no selection, no cursor
// (it shows only with the focus), and only lines that fit one fixed-pitch row.
bool SummaryField::CanPaintLines() {
  if (hasFocus() || textCursor().hasSelection() || !extraSelections().isEmpty()) return false;
  if (!Calibrate()) return false;
  const qreal height = viewport()->height();
  qreal y = contentOffset().y();
  for (QTextBlock block = firstVisibleBlock(); block.isValid() && y <= height;
       block = block.next(), y += lineHeight_) {
    if (!FitsFixedPitch(block.text())) return false;
  }
  return true;
}

// Each printable ASCII character drawn once, as Qt draws it, into a cell one character
// wide and one line high on the field's background: a line is then its cells side by side.
void SummaryField::DrawCells(const QRawFont& font) {
  const int width = static_cast<int>(advance_), height = static_cast<int>(lineHeight_);
  cells_ = QImage(width * kCellCount, height, QImage::Format_RGB32);
  cells_.fill(palette().base().color());
  QPainter painter(&cells_);
  painter.setPen(palette().text().color());
  QGlyphRun run;
  run.setRawFont(font);
  for (char16_t c = kFirstCell; c < kFirstCell + kCellCount; ++c) {
    const QList<quint32> glyph = font.glyphIndexesForString(QString(QChar(c)));
    hasCell_[c - kFirstCell] = glyph.size() == 1 && (glyph.front() != 0 || c == ' ');
    if (!hasCell_[c - kFirstCell]) continue;
    const int left = (c - kFirstCell) * width;
    painter.setClipRect(left, 0, width, height);
    run.setGlyphIndexes(glyph);
    run.setPositions({QPointF(left, origin_.y())});
    painter.drawGlyphRun(QPointF(), run);
  }
  line_ = QImage(viewport()->width(), height, QImage::Format_RGB32);
}

void SummaryField::PaintLines(QPainter& painter, const QRect& area) {
  const QPointF offset = contentOffset();
  const int cell = static_cast<int>(advance_), left = static_cast<int>(origin_.x());
  const QRgb background = palette().base().color().rgb();
  qreal y = offset.y();
  for (QTextBlock block = firstVisibleBlock(); block.isValid() && y <= area.bottom();
       block = block.next(), y += lineHeight_) {
    if (y + lineHeight_ < area.top()) continue;
    const QString text = block.text();
    for (int row = 0; row < line_.height(); ++row) {
      auto* to = reinterpret_cast<QRgb*>(line_.scanLine(row));
      const auto* from = reinterpret_cast<const QRgb*>(cells_.constScanLine(row));
      std::fill(to, to + left, background);
      QRgb* at = to + left;
      for (QChar c : text) {
        std::copy_n(from + (c.unicode() - kFirstCell) * cell, cell, at);
        at += cell;
      }
      std::fill(at, to + line_.width(), background);
    }
    painter.drawImage(QPointF(offset.x(), y), line_);
  }
}

void SummaryField::paintEvent(QPaintEvent* event) {
  paintedWithoutLayout_ = CanPaintLines();
  if (!paintedWithoutLayout_) {
    QPlainTextEdit::paintEvent(event);
    return;
  }
  QPainter painter(viewport());
  painter.setClipRect(event->rect());
  PaintLines(painter, event->rect());
}

void SummaryField::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  Recalibrate();
}

void SummaryField::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) Recalibrate();
}
