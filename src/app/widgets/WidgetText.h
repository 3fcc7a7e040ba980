// Moving text between the core's UTF-8 strings and the widgets.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStyle>
#include <string>
#include <string_view>

#include "CauseText.h"

inline QString ToQt(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string FromQt(const QString& text) {
  return text.toStdString();
}

// A failure's reason as the operator reads it: the Chinese for its kind first, the system's
// own words in brackets after.
inline QString ReasonText(const base::Failure& failure) {
  return ToQt(base::ReasonInChinese(failure));
}

// The size QLabel gives a one-line plain caption (its size hint), worked out with one text
// layout where the size hint lays the caption out three times. False for a label it does
// not cover (word wrap, rich text, a frame, an indent or a buddy).
inline bool OneLineCaptionSize(QLabel* label, QSize& size) {
  if (label->wordWrap() || label->textFormat() != Qt::PlainText || label->buddy() ||
      label->frameWidth() != 0 || label->indent() > 0) {
    return false;
  }
  label->ensurePolished();
  const Qt::LayoutDirection direction =
      label->text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
  const int flags = (QStyle::visualAlignment(direction, label->alignment()) | Qt::TextExpandTabs) &
                    ~(Qt::AlignVCenter | Qt::AlignHCenter);
  const int extra = 2 * label->margin();
  const QMargins margins = label->contentsMargins();
  const int marginWidth = margins.left() + margins.right();
  const QRect box = label->fontMetrics().boundingRect(0, 0, 2000 - extra - marginWidth, 2000, flags,
                                                      label->text());
  size = QSize(box.width() + extra + marginWidth,
               box.height() + extra + margins.top() + margins.bottom())
             .expandedTo(label->minimumSize());
  return true;
}

// An auto-size label's box follows its caption: it grows to the right, or, when it wraps
// words, downwards at its fixed width.
inline void FitAutoSizeLabel(QLabel* label) {
  if (!label->property("autoSize").toBool()) return;
  QSize size;
  if (label->wordWrap()) {
    label->resize(label->width(), label->heightForWidth(label->width()));
  } else if (OneLineCaptionSize(label, size)) {
    label->resize(size);
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
