// Shows the per-channel summary in the window's text field, touching only what changed: a
// tick rewrites the lines whose text differs, so the field neither lays out nor repaints
// the rest, and the operator's scroll position and selection stay where they are.
#pragma once

#include <QStringList>
#include <string_view>

class QPlainTextEdit;

class SummaryView {
 public:
  explicit SummaryView(QPlainTextEdit* field);

  // Afterwards the field's text is exactly `summary` (its CR LF line ends as new lines).
  void Show(std::string_view summary);

 private:
  void ReplaceAll(const QStringList& lines);

  QPlainTextEdit* field_;
  QStringList shownLines_;  // what the field holds, line by line, after the last Show
  int shownRevision_ = -1;  // the document's revision then; another means someone edited it
};
