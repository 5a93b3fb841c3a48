#include "widgets/value_panel.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QString>
#include <algorithm>

namespace widgets {
namespace {

constexpr const char* kOwnSize = "ownPointSize";
constexpr const char* kFittedText = "fittedText";

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
    label->setProperty(kOwnSize, look.pointSize);
    return label;
}

// Whether the text lies whole inside the label at `font`, drawn from the label's top: the
// width it advances, and its ink down to the lowest descender.
bool TextFits(const QLabel* label, const QFont& font) {
    const QFontMetrics metrics(font);
    const QRect room = label->contentsRect();
    const QString& text = label->text();
    if (label->wordWrap()) {
        const QRect block =
            metrics.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text);
        return block.width() <= room.width() && block.height() <= room.height();
    }
    const QRect ink = metrics.tightBoundingRect(text);
    return std::max(metrics.horizontalAdvance(text), ink.width()) <= room.width() &&
           metrics.ascent() + ink.bottom() < room.height();
}

void FitText(QLabel* label) {
    constexpr double kStep = 0.5;
    constexpr double kSmallest = 0.6;  // of the label's own size: still readable
    const double own = label->property(kOwnSize).toDouble();
    QFont font = label->font();
    font.setPointSizeF(own);
    while (!TextFits(label, font) && font.pointSizeF() - kStep >= own * kSmallest)
        font.setPointSizeF(font.pointSizeF() - kStep);
    label->setFont(font);
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

void stPanel::FitTexts() {
    for (QLabel* label : {NameLabel, ShortNameLabel, ValueLabel, UnitLabel}) {
        if (label->property(kFittedText).toString() == label->text())
            continue;
        FitText(label);
        label->setProperty(kFittedText, label->text());
    }
}

}  // namespace widgets
