#include "SummaryView.h"

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <utility>
#include <vector>

#include "WidgetText.h"

namespace {

// The lines of a text whose every line ends with CR LF, and the empty one after the last,
// as the field's blocks stand.
void SplitLines(std::string_view text, std::vector<std::string_view>& lines) {
  lines.clear();
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string_view::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
}

}  // namespace

SummaryView::SummaryView(QPlainTextEdit* field) : field_(field) {
  // Each tick's edits are the program's, not the operator's: nothing to undo, and no undo
  // history growing for as long as acquisition runs.
  field_->document()->setUndoRedoEnabled(false);
}

void SummaryView::Show(std::string_view summary) {
  if (summary == shown_ && field_->document()->revision() == shownRevision_) return;
  const std::string previous = std::exchange(shown_, std::string(summary));
  std::vector<std::string_view> previousLines;
  SplitLines(previous, previousLines);
  SplitLines(shown_, shownLines_);
  QTextDocument* document = field_->document();
  if (document->revision() != shownRevision_ || previousLines.size() != shownLines_.size()) {
    ReplaceAll();
    return;
  }
  // The field would repaint itself whole after these edits, so its layout keeps quiet while
  // the lines change and only the changed lines' own rectangles are repainted. One edit
  // block holds them all, so that the cursor does not lay a line out at every move. A line
  // that now wraps differently changes the field's height: then the text is set anew.
  QTextCursor cursor(document);
  std::vector<std::pair<int, int>> changedLines;  // block number, its line count before
  {
    const QSignalBlocker quiet(document->documentLayout());
    cursor.beginEditBlock();
    for (size_t i = 0; i < shownLines_.size(); ++i) {
      if (shownLines_[i] == previousLines[i]) continue;
      const QTextBlock block = document->findBlockByNumber(static_cast<int>(i));
      changedLines.emplace_back(static_cast<int>(i), block.lineCount());
      cursor.setPosition(block.position());
      cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
      cursor.insertText(ToQt(shownLines_[i]));
    }
    cursor.endEditBlock();
  }
  bool heightChanged = false;
  for (const auto& [number, lineCount] : changedLines) {
    const QTextBlock block = document->findBlockByNumber(number);
    QRect changed = field_->cursorRect(QTextCursor(block));  // lays the line out anew
    heightChanged |= block.lineCount() != lineCount;
    changed.setLeft(0);
    changed.setRight(field_->viewport()->width());
    changed.setHeight(changed.height() * std::max(1, block.lineCount()));
    field_->viewport()->update(changed);
  }
  if (heightChanged) {
    ReplaceAll();
    return;
  }
  shownRevision_ = document->revision();
}

// The whole text anew (the first time, or after the operator edited it), keeping the view
// where the operator left it.
void SummaryView::ReplaceAll() {
  QScrollBar* scroll = field_->verticalScrollBar();
  const int scrolled = scroll->value();
  const QTextCursor before = field_->textCursor();
  const int anchor = before.anchor(), position = before.position();
  QString text = ToQt(shown_);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  field_->setPlainText(text);
  QTextCursor after(field_->document());
  const int end = field_->document()->characterCount() - 1;
  after.setPosition(std::min(anchor, end));
  after.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  field_->setTextCursor(after);
  scroll->setValue(scrolled);
  shownRevision_ = field_->document()->revision();
}
