#include "PathCaption.h"

#include <QLabel>
#include <algorithm>
#include <climits>

#include "WidgetText.h"

namespace {

const QString kEllipsis = QStringLiteral("…");

// Where the label may draw: from its top-left corner up to the first sibling in its way, or
// its container's edge; rightwards for a one-line caption, downwards for a wrapped one.
QRect RoomOf(const QLabel* label) {
  const QWidget* parent = label->parentWidget();
  const QRect own = label->geometry();
  QRect room = own;
  if (label->wordWrap()) {
    room.setBottom(parent ? parent->height() - 1 : INT_MAX / 2);
  } else {
    room.setRight(parent ? parent->width() - 1 : INT_MAX / 2);
  }
  if (!parent) return room;
  for (const QObject* child : parent->children()) {
    const auto* sibling = qobject_cast<const QWidget*>(child);
    if (!sibling || sibling == label || sibling->isWindow() || sibling->isHidden()) continue;
    const QRect other = sibling->geometry();
    if (label->wordWrap()) {
      const bool across = other.left() <= own.right() && other.right() >= own.left();
      if (across && other.top() > own.top())
        room.setBottom(std::min(room.bottom(), other.top() - 1));
    } else {
      const bool along = other.top() <= own.bottom() && other.bottom() >= own.top();
      if (along && other.left() > own.left())
        room.setRight(std::min(room.right(), other.left() - 1));
    }
  }
  return room;
}

// Whether `text` in `label` stays inside `room`, laid out as QLabel lays it out.
bool FitsIn(const QLabel* label, const QRect& room, const QString& text) {
  const QMargins margins = label->contentsMargins();
  const int extra = 2 * label->margin();
  const QFontMetrics metrics = label->fontMetrics();
  if (label->wordWrap()) {
    const int width = label->width() - margins.left() - margins.right() - extra;
    const QRect box =
        metrics.boundingRect(0, 0, width, INT_MAX / 2, Qt::TextWordWrap | Qt::TextExpandTabs, text);
    return box.height() + margins.top() + margins.bottom() + extra <= room.height();
  }
  return metrics.horizontalAdvance(text) + margins.left() + margins.right() + extra <= room.width();
}

}  // namespace

QString ElidePathCaption(const QString& caption, qsizetype pathStart,
                         const std::function<bool(const QString&)>& fits) {
  pathStart = std::clamp<qsizetype>(pathStart, 0, caption.size());
  if (pathStart == caption.size() || fits(caption)) return caption;
  // A separator that ends the path does not start its last part.
  const qsizetype from = caption.size() - 2;
  const qsizetype lastSeparator =
      std::max(caption.lastIndexOf('/', from), caption.lastIndexOf('\\', from));
  // The file name with the separator before it ("/libadcard.so").
  const qsizetype tailStart = lastSeparator >= pathStart ? lastSeparator : pathStart;
  const qsizetype headLength = tailStart - pathStart;
  const qsizetype tailLength = caption.size() - tailStart;
  // Keeping `kept` of the path's characters: the head's first, then the tail's last ones.
  const auto shortened = [&](qsizetype kept) {
    const qsizetype head = std::max<qsizetype>(0, kept - tailLength);
    const qsizetype tail = std::min(kept, tailLength);
    return caption.left(pathStart + head) + kEllipsis + caption.right(tail);
  };
  qsizetype low = 0, high = headLength + tailLength - 1;  // the most that might still fit
  while (low < high) {
    const qsizetype middle = (low + high + 1) / 2;
    if (fits(shortened(middle))) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return shortened(low);
}

void SetPathCaption(QLabel* label, const QString& caption, qsizetype pathStart,
                    const QString& note) {
  label->ensurePolished();
  const QRect room = RoomOf(label);
  const QString shown = ElidePathCaption(
      caption, pathStart, [&](const QString& text) { return FitsIn(label, room, text); });
  SetCaption(label, shown);
  if (shown == caption) {
    label->setToolTip(note);
  } else {
    label->setToolTip(note.isEmpty() ? caption : caption + "\n" + note);
  }
}
