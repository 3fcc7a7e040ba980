#include "SummaryView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <utility>
#include <vector>

#include "SummaryField.h"
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

SummaryView::SummaryView(SummaryField* field) : field_(field) {
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
  // A changed line that is not one fixed-pitch row (it would wrap, or holds what the field
  // does not draw itself) changes the field's height or its drawing: then the text is set
  // anew. Otherwise the lines are replaced in one edit block, so that the cursor does not
  // lay a line out at every move, and only their own rows are repainted.
  std::vector<std::pair<int, QString>> changedLines;
  for (size_t i = 0; i < shownLines_.size(); ++i) {
    if (shownLines_[i] == previousLines[i]) continue;
    QString line = ToQt(shownLines_[i]);
    if (!field_->FitsFixedPitch(line)) {
      ReplaceAll();
      return;
    }
    changedLines.emplace_back(static_cast<int>(i), std::move(line));
  }
  QTextCursor cursor(document);
  field_->BeginLineEdits();
  cursor.beginEditBlock();
  std::vector<int> numbers;
  for (const auto& [number, line] : changedLines) {
    const QTextBlock block = document->findBlockByNumber(number);
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(line);
    numbers.push_back(number);
  }
  cursor.endEditBlock();
  field_->EndLineEdits(numbers);
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
  field_->Recalibrate();
  QTextCursor after(field_->document());
  const int end = field_->document()->characterCount() - 1;
  after.setPosition(std::min(anchor, end));
  after.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  field_->setTextCursor(after);
  scroll->setValue(scrolled);
  shownRevision_ = field_->document()->revision();
}
