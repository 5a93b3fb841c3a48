// A horizontal up-down spinner: two arrow buttons side by side and a position between a
// minimum and a maximum, without a text field of its own. The left arrow (and the Left or
// Down key) steps down, the right arrow (Right or Up) steps up; the position stops at the
// limits, no wrap-around. Holding an arrow repeats its step.
#pragma once

#include <QWidget>

class QToolButton;

namespace diag {

class HorizontalUpDown final : public QWidget {
    Q_OBJECT
  public:
    explicit HorizontalUpDown(QWidget* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    Qt::Orientation orientation() const { return Qt::Horizontal; }
    bool wrapping() const { return false; }

    void setRange(int minimum, int maximum);
    void setValue(int value);  // brought into the range
    void stepBy(int steps);

    QToolButton* DownButton() const { return down_; }  // the left arrow
    QToolButton* UpButton() const { return up_; }      // the right arrow

    QSize sizeHint() const override;

  signals:
    void valueChanged(int value);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QToolButton* down_;
    QToolButton* up_;
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
};

}  // namespace diag
