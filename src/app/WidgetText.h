// Moving text between the core's UTF-8 strings and the widgets.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <string>
#include <string_view>

inline QString ToQt(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQt(const QString& text) {
  return text.toStdString();
}

// An auto-size label's box follows its caption: it grows to the right, or, when it wraps
// words, downwards at its fixed width.
inline void FitAutoSizeLabel(QLabel* label) {
  if (!label->property("autoSize").toBool()) return;
  if (label->wordWrap()) {
    label->resize(label->width(), label->heightForWidth(label->width()));
  } else {
    label->adjustSize();
  }
}

inline void SetCaption(QLabel* label, const QString& caption) {
  if (label->text() == caption) return;  // nothing to lay out or repaint
  label->setText(caption);
  FitAutoSizeLabel(label);
}

// A field set to the text it already holds stays silent, as the output handlers expect.
inline void SetFieldText(QLineEdit* field, const QString& text) {
  if (field->text() != text) field->setText(text);
}
