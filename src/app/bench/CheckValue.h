// Check boxes are read as numbers: 0 unchecked, 1 checked, 2 greyed. Qt numbers its states
// differently (PartiallyChecked is 1), so the mapping lives here and nowhere else.
#pragma once

#include <QCheckBox>

inline int CheckValue(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
  }
  return 0;
}

inline void SetCheckValue(QCheckBox* box, int value) {
  box->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}
