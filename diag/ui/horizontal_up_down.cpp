#include "diag/ui/horizontal_up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

namespace diag {

namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, const char* name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);  // the spinner itself takes the keys
    return button;
}

}  // namespace

HorizontalUpDown::HorizontalUpDown(QWidget* parent)
    : QWidget(parent),
      down_(ArrowButton(Qt::LeftArrow, "DownButton", this)),
      up_(ArrowButton(Qt::RightArrow, "UpButton", this)) {
    setFocusPolicy(Qt::StrongFocus);
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
}

void HorizontalUpDown::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
}

void HorizontalUpDown::setValue(int value) {
    const int bounded = std::clamp(value, minimum_, maximum_);
    if (bounded == value_)
        return;
    value_ = bounded;
    emit valueChanged(value_);
}

void HorizontalUpDown::stepBy(int steps) {
    setValue(value_ + steps);
}

QSize HorizontalUpDown::sizeHint() const {
    return {2 * up_->sizeHint().height(), up_->sizeHint().height()};
}

void HorizontalUpDown::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            stepBy(-1);
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            stepBy(1);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

// The two arrows share the spinner's width, half each.
void HorizontalUpDown::resizeEvent(QResizeEvent*) {
    const int half = width() / 2;
    down_->setGeometry(0, 0, half, height());
    up_->setGeometry(half, 0, width() - half, height());
}

}  // namespace diag
