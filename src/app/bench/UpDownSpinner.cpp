#include "UpDownSpinner.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

UpDownSpinner::UpDownSpinner(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  setFocusPolicy(Qt::StrongFocus);
  for (QToolButton* arrow : {up_, down_}) {
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] {
    setFocus(Qt::MouseFocusReason);
    stepUp();
  });
  connect(down_, &QToolButton::clicked, this, [this] {
    setFocus(Qt::MouseFocusReason);
    stepDown();
  });
}

void UpDownSpinner::setMinimum(int minimum) {
  minimum_ = minimum;
  maximum_ = std::max(maximum_, minimum_);
  setValue(value_);
}

void UpDownSpinner::setMaximum(int maximum) {
  maximum_ = maximum;
  minimum_ = std::min(minimum_, maximum_);
  setValue(value_);
}

void UpDownSpinner::setValue(int value) {
  value = std::clamp(value, minimum_, maximum_);
  if (value == value_) return;
  value_ = value;
  emit valueChanged(value_);
}

void UpDownSpinner::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      stepUp();
      break;
    case Qt::Key_Down:
      stepDown();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void UpDownSpinner::resizeEvent(QResizeEvent*) {
  const int upperHeight = height() / 2;
  up_->setGeometry(0, 0, width(), upperHeight);
  down_->setGeometry(0, upperHeight, width(), height() - upperHeight);
}
