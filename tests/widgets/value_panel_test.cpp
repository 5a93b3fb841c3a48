// The value panel: its fixed size, the four labels as built, and the owner's changes.
#include "widgets/value_panel.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QString>
#include <functional>
#include <string>

namespace {

using widgets::stPanel;

// Pixels of dark text on the light panel.
int InkPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qGray(image.pixel(x, y)) < 96;
        }
    }
    return count;
}

TEST(ValuePanelTest, IsFixedAtOneHundredThirtyByEighty) {
    stPanel panel;
    EXPECT_EQ(panel.size(), QSize(130, 80));
    EXPECT_EQ(panel.minimumSize(), QSize(130, 80));
    EXPECT_EQ(panel.maximumSize(), QSize(130, 80));
    panel.resize(200, 40);
    EXPECT_EQ(panel.size(), QSize(130, 80));
}

TEST(ValuePanelTest, HasASingleLineBorder) {
    stPanel panel;
    EXPECT_EQ(panel.frameShape(), QFrame::Box);
    EXPECT_EQ(panel.frameShadow(), QFrame::Plain);
    EXPECT_EQ(panel.frameWidth(), 1);
}

struct LabelRow {
    std::string name;
    std::function<QLabel*(stPanel&)> label;
    QRect geometry;
    QString placeholder;
    int pointSize;
    bool bold;
    bool wordWrap;
};

class PanelLabelTest : public ::testing::TestWithParam<LabelRow> {};

TEST_P(PanelLabelTest, StandsInPlaceWithItsPlaceholderAndFont) {
    stPanel panel;
    const LabelRow& row = GetParam();
    QLabel* label = row.label(panel);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->parentWidget(), &panel);
    EXPECT_EQ(label->geometry(), row.geometry);
    EXPECT_EQ(label->text(), row.placeholder);
    EXPECT_EQ(label->font().pointSize(), row.pointSize);
    EXPECT_EQ(label->font().bold(), row.bold);
    EXPECT_EQ(label->wordWrap(), row.wordWrap);
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(label->alignment() & Qt::AlignTop);
}

TEST_P(PanelLabelTest, TakesItsFaceFromThePanel) {
    stPanel panel;
    QFont serif("DejaVu Serif");
    panel.setFont(serif);
    QLabel* label = GetParam().label(panel);
    EXPECT_EQ(label->font().family(), serif.family());
    EXPECT_EQ(label->font().pointSize(), GetParam().pointSize);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, PanelLabelTest,
    ::testing::Values(LabelRow{"Name", [](stPanel& p) { return p.NameLabel; }, QRect(5, 2, 120, 37),
                               "Текущая коррекция рассчитанного расхода воздуха на холостом ходу",
                               8, false, true},
                      LabelRow{"ShortName", [](stPanel& p) { return p.ShortNameLabel; },
                               QRect(16, 58, 94, 20), "ICERROR", 14, true, false},
                      LabelRow{"Value", [](stPanel& p) { return p.ValueLabel; },
                               QRect(8, 41, 65, 20), "-10000", 14, false, false},
                      LabelRow{"Unit", [](stPanel& p) { return p.UnitLabel; },
                               QRect(85, 43, 40, 14), "кг/см", 10, false, false}),
    [](const ::testing::TestParamInfo<LabelRow>& info) { return info.param.name; });

TEST(ValuePanelTest, ValueIsLimeOnBlack) {
    stPanel panel;
    const QPalette palette = panel.ValueLabel->palette();
    EXPECT_EQ(palette.color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(palette.color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_TRUE(panel.ValueLabel->autoFillBackground());
    const QImage image = panel.ValueLabel->grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
}

TEST(ValuePanelTest, ValueLiesOnTopOfTheShortNameWhereTheyOverlap) {
    stPanel panel;
    for (int y = 58; y <= 60; ++y) {
        EXPECT_EQ(panel.childAt(40, y), panel.ValueLabel) << y;
    }
    EXPECT_EQ(panel.childAt(40, 61), panel.ShortNameLabel);
    EXPECT_EQ(panel.childAt(90, 59), panel.ShortNameLabel);  // right of the value
}

TEST(ValuePanelTest, LongNameWrapsAndIsCutOffBelowItsBox) {
    stPanel panel;
    const QString name =
        "Очень длинное полное имя параметра, которое не помещается в три строки "
        "подписи и потому обрезается снизу";
    panel.NameLabel->setText(name);
    EXPECT_EQ(panel.NameLabel->geometry(), QRect(5, 2, 120, 37));
    EXPECT_GT(panel.NameLabel->heightForWidth(120), 37);
    // The box shows the top of the wrapped text: the same as a taller label cut at row 37.
    QLabel tall(name);
    tall.setFont(panel.NameLabel->font());
    tall.setAlignment(panel.NameLabel->alignment());
    tall.setWordWrap(true);
    tall.resize(120, tall.heightForWidth(120));
    const QImage shown = panel.NameLabel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage whole = tall.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, whole.copy(0, 0, 120, 37));
    // And the text does go on below the cut.
    EXPECT_GT(InkPixels(whole.copy(0, 40, 120, whole.height() - 40)), 20);
}

// After new texts, one too wide or too tall for its label is drawn smaller until it fits;
// one that fits keeps (or gets back) the label's own size.
TEST(ValuePanelTest, FitTextsShrinksOnlyWhatWouldBeCutOff) {
    struct Row {
        QLabel* stPanel::*label;
        double ownPoints;
        const char* text;
        bool smaller;
    };
    stPanel panel;
    for (const Row& row :
         {Row{&stPanel::ValueLabel, 14, "14", false},
          Row{&stPanel::ValueLabel, 14, "-0.00390625", true},
          Row{&stPanel::NameLabel, 8, "Расход воздуха", false},
          Row{&stPanel::NameLabel, 8, "Текущая коррекция рассчитанного расхода воздуха", true}}) {
        SCOPED_TRACE(row.text);
        QLabel* label = panel.*row.label;
        label->setText(QString::fromUtf8(row.text));
        panel.FitTexts();
        EXPECT_EQ(label->font().pointSizeF() < row.ownPoints, row.smaller);
        if (label->wordWrap())
            EXPECT_LE(label->heightForWidth(label->width()), label->height());
        else
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
    }
}

TEST(ValuePanelTest, HeightEightyFourIsRefusedUntilTheMaximumIsRaised) {
    stPanel panel;
    panel.resize(130, 84);
    EXPECT_EQ(panel.height(), 80);
    // What the diagnostics window does to each panel it builds.
    panel.setMaximumHeight(90);
    panel.setMinimumHeight(80);
    panel.resize(130, 84);
    EXPECT_EQ(panel.size(), QSize(130, 84));
    panel.resize(130, 95);
    EXPECT_EQ(panel.height(), 90);
}

}  // namespace
