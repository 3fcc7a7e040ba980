#include "ScanKeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

bool IsScanKey(const QWidget* station, QObject* watched, const QKeyEvent& key) {
  auto* widget = qobject_cast<QWidget*>(watched);
  // A dialog or a popup keeps its keys.
  if (!widget || widget->window() != station || QApplication::activeModalWidget() ||
      QApplication::activePopupWidget()) {
    return false;
  }
  // Only where the key first lands, not on its way up to the parents, and never where the
  // operator types: the serial field itself, the operator's name.
  QWidget* focus = station->focusWidget();
  if (widget != (focus ? focus : station) || qobject_cast<QLineEdit*>(focus)) return false;
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) return true;
  if (key.key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(focus)) return false;
  return !key.text().isEmpty() && key.text().at(0).isPrint();
}

void MoveScanKey(QLineEdit* field, const QKeyEvent& key) {
  field->setFocus();
  field->selectAll();
  QKeyEvent moved(key.type(), key.key(), key.modifiers(), key.text(), key.isAutoRepeat(),
                  key.count());
  QCoreApplication::sendEvent(field, &moved);
}
