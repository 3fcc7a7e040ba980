#include "SummaryView.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "WidgetText.h"

namespace {

QStringList LinesOf(std::string_view summary) {
  QStringList lines = ToQt(summary).split(QStringLiteral("\r\n"));
  return lines;  // the text ends with CR LF, so the last line is empty, as in the field
}

}  // namespace

SummaryView::SummaryView(QPlainTextEdit* field) : field_(field) {
  // Each tick's edits are the program's, not the operator's: nothing to undo, and no undo
  // history growing for as long as acquisition runs.
  field_->document()->setUndoRedoEnabled(false);
}

void SummaryView::Show(std::string_view summary) {
  const QStringList lines = LinesOf(summary);
  QTextDocument* document = field_->document();
  if (document->revision() != shownRevision_ || lines.size() != shownLines_.size()) {
    ReplaceAll(lines);
    return;
  }
  QTextCursor cursor(document);
  bool editing = false;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (lines[i] == shownLines_[i]) continue;
    if (!editing) {
      cursor.beginEditBlock();
      editing = true;
    }
    const QTextBlock block = document->findBlockByNumber(static_cast<int>(i));
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(lines[i]);
  }
  if (editing) cursor.endEditBlock();
  shownLines_ = lines;
  shownRevision_ = document->revision();
}

// The whole text anew (the first time, or after the operator edited it), keeping the view
// where the operator left it.
void SummaryView::ReplaceAll(const QStringList& lines) {
  QScrollBar* scroll = field_->verticalScrollBar();
  const int scrolled = scroll->value();
  const QTextCursor before = field_->textCursor();
  const int anchor = before.anchor(), position = before.position();
  field_->setPlainText(lines.join(QLatin1Char('\n')));
  QTextCursor after(field_->document());
  const int end = field_->document()->characterCount() - 1;
  after.setPosition(std::min(anchor, end));
  after.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  field_->setTextCursor(after);
  scroll->setValue(scrolled);
  shownLines_ = lines;
  shownRevision_ = field_->document()->revision();
}
