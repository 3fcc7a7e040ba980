// A stand-alone up-down control: two arrow buttons holding an integer value. It notifies
// only when the value really changes and stops at the ends of its range.
#pragma once

#include <QWidget>

class QToolButton;

class UpDownSpinner : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
  Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
  Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
  Q_PROPERTY(int singleStep READ singleStep WRITE setSingleStep)

 public:
  explicit UpDownSpinner(QWidget* parent = nullptr);

  int value() const { return value_; }
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  int singleStep() const { return singleStep_; }
  void setMinimum(int minimum);
  void setMaximum(int maximum);
  void setSingleStep(int step) { singleStep_ = step; }

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 public slots:
  void setValue(int value);  // clamped to the range
  void stepUp() { setValue(value_ + singleStep_); }
  void stepDown() { setValue(value_ - singleStep_); }

 signals:
  void valueChanged(int value);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
  int minimum_ = 0;
  int maximum_ = 100;
  int singleStep_ = 1;
  int value_ = 0;
};
