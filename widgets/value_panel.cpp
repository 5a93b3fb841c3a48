#include "widgets/value_panel.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QString>

namespace widgets {
namespace {

struct LabelLook {
    QRect geometry;
    const char* placeholder;
    int pointSize;
    bool bold;
};

// Only the size (and weight) is set on the label's font: face and colour stay the panel's.
QLabel* MakeLabel(QWidget* panel, const LabelLook& look) {
    auto* label = new QLabel(QString::fromUtf8(look.placeholder), panel);
    label->setGeometry(look.geometry);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font;
    font.setPointSize(look.pointSize);
    if (look.bold) {
        font.setBold(true);
    }
    label->setFont(font);
    return label;
}

const LabelLook kName{QRect(5, 2, 120, 37),
                      "Текущая коррекция рассчитанного расхода воздуха на холостом ходу", 8, false};
const LabelLook kShortName{QRect(16, 58, 94, 20), "ICERROR", 14, true};
const LabelLook kValue{QRect(8, 41, 65, 20), "-10000", 14, false};
const LabelLook kUnit{QRect(85, 43, 40, 14), "кг/см", 10, false};

void PaintLimeOnBlack(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 255, 0));
    palette.setColor(QPalette::Window, Qt::black);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

}  // namespace

stPanel::stPanel(QWidget* parent)
    : QFrame(parent),
      NameLabel(MakeLabel(this, kName)),
      ShortNameLabel(MakeLabel(this, kShortName)),
      ValueLabel(MakeLabel(this, kValue)),
      UnitLabel(MakeLabel(this, kUnit)) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setMinimumSize(kWidth, kHeight);
    setMaximumSize(kWidth, kHeight);
    resize(kWidth, kHeight);
    // A long full name wraps inside its box and is cut off below; the others stay on one line.
    NameLabel->setWordWrap(true);
    PaintLimeOnBlack(ValueLabel);
}

}  // namespace widgets
