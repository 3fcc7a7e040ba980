// Shows the per-channel summary in the window's text field, touching only what changed: a
// tick rewrites the lines whose text differs, which the field shows without laying them
// out; the rest is neither laid out nor repainted, and the operator's scroll position and
// selection stay where they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class SummaryField;

class SummaryView {
 public:
  explicit SummaryView(SummaryField* field);

  // Afterwards the field's text is exactly `summary` (its CR LF line ends as new lines).
  void Show(std::string_view summary);

 private:
  void ReplaceAll();

  SummaryField* field_;
  std::string shown_;                         // the summary the field holds
  std::vector<std::string_view> shownLines_;  // its lines, without their CR LF
  int shownRevision_ = -1;  // the document's revision then; another means someone edited it
};
