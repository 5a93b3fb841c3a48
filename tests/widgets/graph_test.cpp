// The scrolling graph, checked on the pixels of an offscreen 200 x 100 image and on its
// stored rows.
#include "widgets/graph.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEvent>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/row_names.h"

namespace {

using widgets::TGraph;

// A colour the graph never uses, for the pixels it leaves to its parent.
const QColor kParent(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kLime = qRgb(0, 255, 0);
const QRgb kGreen = qRgb(0, 128, 0);

// The marker columns of a 200-pixel graph with 10 points: (i x 200) / 9.
const std::vector<int> kMarkerColumns = {22, 44, 66, 88, 111, 133, 155, 177, 200};

// Where the limit texts stand: "10" from (5, 2), "-10" from (5, H - 15).
const QRect kTopText(5, 2, 40, 16);
const QRect kBottomText(5, 85, 40, 15);

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y);
}

int CountInRect(const QImage& image, const QRect& rect, QRgb colour) {
    int count = 0;
    const QRect inside = rect & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            count += At(image, x, y) == colour;
        }
    }
    return count;
}

int CountInRow(const QImage& image, int y, QRgb colour) {
    return CountInRect(image, QRect(0, y, image.width(), 1), colour);
}

// The last column of the rectangle with a pixel in that colour, or -1.
int RightmostColumn(const QImage& image, const QRect& rect, QRgb colour) {
    int right = -1;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        right = CountInRect(image, QRect(x, rect.top(), 1, rect.height()), colour) ? x : right;
    }
    return right;
}

// The first row of column x in that colour, or -1.
int TopmostRow(const QImage& image, int x, QRgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        if (At(image, x, y) == colour) {
            return y;
        }
    }
    return -1;
}

// The 4 x 4 square from (x - 2, y - 2) up to (x + 2, y + 2), as far as it is on the image.
void ExpectMarker(const QImage& image, int x, int y) {
    const QRect square = QRect(x - 2, y - 2, 4, 4) & image.rect();
    EXPECT_EQ(CountInRect(image, square, kLime), square.width() * square.height())
        << "marker at " << x << ", " << y;
}

class GraphTest : public ::testing::Test {
  protected:
    void SetUp() override { graph.resize(200, 100); }
    // A graph painted once and cleared: every point on the zero line of row 50.
    void PaintAndClear() {
        graph.Paint();
        graph.Clear();
    }
    QImage Image() { return graph.RenderImage(kParent); }

    TGraph graph;
};

TEST_F(GraphTest, StartsWithTheDefaults) {
    EXPECT_EQ(graph.MaxValue(), 10);
    EXPECT_EQ(graph.MinValue(), -10);
    EXPECT_EQ(graph.PointPerScr(), 10);
    EXPECT_EQ(graph.ZeroLine(), 0);
    for (int row : graph.Points()) {
        ASSERT_EQ(row, 0);
    }
}

TEST_F(GraphTest, ClearedGraphLeavesItsOuterFrameToTheParentAndFillsTheRestBlack) {
    PaintAndClear();
    const QImage image = Image();
    ASSERT_EQ(image.size(), QSize(200, 100));
    const QRect lineBand(0, 48, 200, 4);  // the polyline on row 50 and its markers
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QPoint p(x, y);
            const QRgb pixel = At(image, x, y);
            if (lineBand.contains(p)) {
                continue;
            }
            if (x == 0 || y == 0 || x == 199 || y == 99) {
                ASSERT_EQ(pixel, kParent.rgb()) << x << ", " << y;
            } else if (kTopText.contains(p) || kBottomText.contains(p)) {
                ASSERT_TRUE(pixel == kBlack || pixel == kGreen) << x << ", " << y;
            } else {
                ASSERT_EQ(pixel, kBlack) << x << ", " << y;
            }
        }
    }
}

TEST_F(GraphTest, ClearedGraphShowsTheFlatLineOnRowFiftyWithItsMarkers) {
    PaintAndClear();
    EXPECT_EQ(graph.ZeroLine(), 50);
    for (int row : graph.Points()) {
        ASSERT_EQ(row, 50);
    }
    const QImage image = Image();
    EXPECT_EQ(CountInRow(image, 50, kLime), 200);
    for (int x : kMarkerColumns) {
        ExpectMarker(image, x, 50);
        const int column = std::min(x, 198);  // the last one is cut off at the field's edge
        EXPECT_EQ(At(image, column, 47), kBlack) << x;
        EXPECT_EQ(At(image, column, 52), kBlack) << x;
    }
    // Between markers the line is one pixel thick, and the newest point has no marker.
    EXPECT_EQ(At(image, 33, 49), kBlack);
    EXPECT_EQ(At(image, 33, 51), kBlack);
    EXPECT_EQ(At(image, 1, 49), kBlack);
    // Nothing else is lime.
    EXPECT_EQ(CountInRect(image, image.rect(), kLime),
              CountInRect(image, QRect(0, 48, 200, 4), kLime));
}

TEST_F(GraphTest, LimitsAreWrittenInGreenAtTheLeftEdgesOnly) {
    PaintAndClear();
    const QImage image = Image();
    EXPECT_GT(CountInRect(image, kTopText, kGreen), 10);
    EXPECT_GT(CountInRect(image, kBottomText, kGreen), 10);
    // "-10" is one character wider than "10".
    EXPECT_GT(RightmostColumn(image, kBottomText, kGreen),
              RightmostColumn(image, kTopText, kGreen));
    const int green = CountInRect(image, image.rect(), kGreen);
    EXPECT_EQ(green,
              CountInRect(image, kTopText, kGreen) + CountInRect(image, kBottomText, kGreen));
    EXPECT_EQ(CountInRect(image, QRect(0, 0, 5, 100), kGreen), 0);
}

TEST_F(GraphTest, ZeroLineIsRedWhereTheReadingsLeaveIt) {
    PaintAndClear();
    for (int i = 0; i < 10; ++i) {
        graph.AddValue(5);
    }
    const QImage image = Image();
    EXPECT_EQ(CountInRow(image, 50, kRed), 200);
    EXPECT_EQ(CountInRow(image, 25, kLime), 200);
}

TEST_F(GraphTest, NewestReadingEntersAtTheLeftAndLeavesAfterTenMore) {
    PaintAndClear();
    graph.AddValue(5);
    EXPECT_EQ(graph.Points()[0], 25);  // 50 - 5 x 100 / 20
    EXPECT_EQ(graph.Points()[1], 50);
    QImage image = Image();
    EXPECT_EQ(At(image, 0, 25), kLime);
    EXPECT_EQ(At(image, 1, 23), kBlack);  // no marker on the newest point
    ExpectMarker(image, 22, 50);

    for (int i = 0; i < 9; ++i) {
        graph.AddValue(0);
    }
    EXPECT_EQ(graph.Points()[9], 25);
    image = Image();
    ExpectMarker(image, 200, 25);  // the oldest visible place, x = W
    EXPECT_EQ(At(image, 0, 50), kLime);

    graph.AddValue(0);
    // Dropped out: not carried into the entries beyond the visible ones.
    EXPECT_EQ(graph.Points()[9], 50);
    EXPECT_EQ(graph.Points()[10], 50);
    image = Image();
    EXPECT_EQ(CountInRect(image, QRect(0, 0, 200, 48), kLime), 0);
}

TEST_F(GraphTest, ReadingAboveTheRangeRunsOffTheTop) {
    PaintAndClear();
    graph.AddValue(30);
    EXPECT_EQ(graph.Points()[0], -100);
    const QImage image = Image();
    // The segment from (0, -100) to (22, 50) enters the image on row 0 near x = 14.
    EXPECT_EQ(CountInRect(image, QRect(0, 0, 12, 48), kLime), 0);
    EXPECT_GT(CountInRect(image, QRect(12, 0, 6, 2), kLime), 0);
    EXPECT_GT(CountInRect(image, QRect(18, 20, 5, 28), kLime), 0);
}

TEST_F(GraphTest, ExtremeReadingsSaturateInsteadOfOverflowing) {
    PaintAndClear();
    graph.AddValue(INT_MAX);
    EXPECT_EQ(graph.Points()[0], INT_MIN);
    graph.AddValue(INT_MIN);
    EXPECT_EQ(graph.Points()[0], INT_MAX);
    const QImage image = Image();
    // The first segment crosses the whole height near x = 11, the second comes down from the
    // top to the marker at x = 44; the rest of the line is drawn as usual.
    for (int y = 0; y < 100; ++y) {
        ASSERT_GT(CountInRect(image, QRect(9, y, 4, 1), kLime), 0) << y;
    }
    for (int y = 0; y < 48; ++y) {
        ASSERT_GT(CountInRect(image, QRect(42, y, 3, 1), kLime), 0) << y;
    }
    ExpectMarker(image, 44, 50);
    EXPECT_EQ(CountInRect(image, QRect(44, 50, 156, 1), kLime), 156);
}

TEST_F(GraphTest, WidestRangeKeepsTheZeroLineInTheMiddle) {
    graph.SetMinValue(INT_MIN);
    graph.SetMaxValue(INT_MAX);
    EXPECT_EQ(graph.ZeroLine(), 49);  // (2^31 - 1) x 100 / (2^32 - 1)
    EXPECT_EQ(graph.Points()[0], 49);
}

struct IgnoredWriter {
    std::string name;
    std::function<void(TGraph&)> write;
};

class IgnoredWriterTest : public GraphTest, public ::testing::WithParamInterface<IgnoredWriter> {};

TEST_P(IgnoredWriterTest, KeepsTheRangeThePointsAndTheDrawing) {
    PaintAndClear();
    graph.AddValue(5);
    const QImage before = Image();
    GetParam().write(graph);
    EXPECT_EQ(graph.MaxValue(), 10);
    EXPECT_EQ(graph.MinValue(), -10);
    EXPECT_EQ(graph.PointPerScr(), 10);
    EXPECT_EQ(graph.Points()[0], 25);
    EXPECT_EQ(graph.Points()[1], 50);
    EXPECT_EQ(Image(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, IgnoredWriterTest,
    ::testing::Values(IgnoredWriter{"MaxBelowMin", [](TGraph& g) { g.SetMaxValue(-20); }},
                      IgnoredWriter{"MinAboveMax", [](TGraph& g) { g.SetMinValue(11); }},
                      IgnoredWriter{"MaxEqualToMin", [](TGraph& g) { g.SetMaxValue(-10); }},
                      IgnoredWriter{"MinEqualToMax", [](TGraph& g) { g.SetMinValue(10); }},
                      IgnoredWriter{"SameMax", [](TGraph& g) { g.SetMaxValue(10); }},
                      IgnoredWriter{"SameMin", [](TGraph& g) { g.SetMinValue(-10); }},
                      IgnoredWriter{"OnePoint", [](TGraph& g) { g.SetPointPerScr(1); }},
                      IgnoredWriter{"NoPoints", [](TGraph& g) { g.SetPointPerScr(0); }},
                      IgnoredWriter{"NegativePoints", [](TGraph& g) { g.SetPointPerScr(-3); }},
                      IgnoredWriter{"WholeBuffer", [](TGraph& g) { g.SetPointPerScr(255); }},
                      IgnoredWriter{"SamePoints", [](TGraph& g) { g.SetPointPerScr(10); }}),
    testing_support::RowName);

TEST_F(GraphTest, NewLimitResetsThePointsToTheNewZeroLine) {
    PaintAndClear();
    graph.AddValue(5);
    graph.SetMaxValue(20);
    EXPECT_EQ(graph.ZeroLine(), 66);  // 20 x 100 / 30
    for (int row : graph.Points()) {
        ASSERT_EQ(row, 66);
    }
    graph.SetMinValue(-20);
    EXPECT_EQ(graph.ZeroLine(), 50);
    EXPECT_EQ(graph.Points()[254], 50);
}

// The limit texts are laid out once and kept: a new range or a new font must still show.
TEST_F(GraphTest, LimitTextsFollowANewRangeAndANewFont) {
    PaintAndClear();
    const QRect topRow(0, 2, 200, 16);
    const QImage first = Image();
    graph.SetMaxValue(1000);
    const QImage wider = Image();
    EXPECT_GT(RightmostColumn(wider, topRow, kGreen), RightmostColumn(first, topRow, kGreen) + 10);
    EXPECT_EQ(CountInRect(wider, kBottomText, kGreen), CountInRect(first, kBottomText, kGreen));
    graph.SetMaxValue(10);
    EXPECT_EQ(Image().copy(topRow), first.copy(topRow));

    QFont bold = graph.font();
    bold.setBold(true);
    graph.setFont(bold);
    EXPECT_GT(CountInRect(Image(), kTopText, kGreen), CountInRect(first, kTopText, kGreen));
}

TEST_F(GraphTest, TwoPointsDrawOneSegmentAcrossTheWidth) {
    PaintAndClear();
    graph.SetPointPerScr(2);
    EXPECT_EQ(graph.PointPerScr(), 2);
    graph.AddValue(5);
    EXPECT_EQ(graph.Points()[0], 25);
    EXPECT_EQ(graph.Points()[1], 50);
    EXPECT_EQ(graph.Points()[2], 50);  // not shifted
    const QImage image = Image();
    ExpectMarker(image, 200, 50);
    // One straight segment from (0, 25) to (200, 50): one pixel per column, no other markers.
    for (int x = 0; x < 198; ++x) {
        const int expected = 25 + x * 25 / 200;
        ASSERT_EQ(CountInRect(image, QRect(x, 0, 1, 100), kLime), 1) << x;
        ASSERT_NEAR(TopmostRow(image, x, kLime), expected, 1) << x;
    }
}

TEST_F(GraphTest, MorePointsSpreadAcrossTheWidthFromEntriesLastHeld) {
    PaintAndClear();
    graph.SetPointPerScr(12);
    for (int i = 0; i < 12; ++i) {
        graph.AddValue(5);
    }
    graph.SetPointPerScr(2);
    graph.AddValue(0);
    graph.SetPointPerScr(12);
    // Entry 1 moved, entries 2..11 kept the readings of the wider graph.
    EXPECT_EQ(graph.Points()[0], 50);
    EXPECT_EQ(graph.Points()[1], 25);
    EXPECT_EQ(graph.Points()[11], 25);
    EXPECT_EQ(graph.Points()[12], 50);
    const QImage image = Image();
    ExpectMarker(image, 200, 25);  // (11 x 200) / 11
    ExpectMarker(image, 18, 25);   // (1 x 200) / 11
}

TEST_F(GraphTest, ClearBeforeAnyPaintPutsThePointsOnRowZero) {
    graph.Clear();
    for (int row : graph.Points()) {
        ASSERT_EQ(row, 0);
    }
    EXPECT_EQ(graph.ZeroLine(), 50);  // computed by the drawing that ends Clear
    const QImage image = Image();
    EXPECT_EQ(CountInRow(image, 50, kRed), 200);
    EXPECT_EQ(CountInRow(image, 0, kLime), 200);
    for (int x : kMarkerColumns) {
        ExpectMarker(image, x, 0);
    }
    EXPECT_EQ(CountInRect(image, QRect(0, 2, 200, 98), kLime), 0);
}

TEST_F(GraphTest, RangeFromZeroToHundredPutsTheZeroLineAtTheBottom) {
    graph.SetMaxValue(100);
    graph.SetMinValue(0);
    EXPECT_EQ(graph.ZeroLine(), 100);
    graph.AddValue(100);
    EXPECT_EQ(graph.Points()[0], 0);
    graph.AddValue(50);
    EXPECT_EQ(graph.Points()[0], 50);
    const QImage image = Image();
    EXPECT_EQ(CountInRect(image, image.rect(), kRed), 0);  // row 100 is just below the graph
    EXPECT_EQ(At(image, 0, 50), kLime);
    ExpectMarker(image, 22, 0);
    ExpectMarker(image, 44, 100);
}

TEST_F(GraphTest, NegativeMaximumCountsByItsMagnitude) {
    graph.SetMaxValue(-5);
    EXPECT_EQ(graph.ZeroLine(), 100);  // |-5| x 100 / 5
    graph.AddValue(-7);
    EXPECT_EQ(graph.Points()[0], 240);  // 100 - (-7 x 100) / 5
}

TEST_F(GraphTest, LimitTextHidesTheZeroLineBeneathIt) {
    graph.SetMinValue(-1);  // zero line 10 x 100 / 11 = 90, through "-1" at rows 85..
    EXPECT_EQ(graph.ZeroLine(), 90);
    graph.SetPointPerScr(2);
    graph.AddValue(10);  // the polyline runs from row 0 down to the zero line, away from the text
    const QImage image = Image();
    EXPECT_EQ(At(image, 150, 90), kRed);
    EXPECT_EQ(At(image, 0, 90), kRed);
    EXPECT_EQ(At(image, 4, 90), kRed);
    EXPECT_NE(At(image, 5, 90), kRed);  // the text cell begins at x = 5
    EXPECT_LT(CountInRow(image, 90, kRed), 200 - 8);
    EXPECT_GT(CountInRect(image, QRect(5, 85, 30, 15), kGreen), 0);
}

TEST_F(GraphTest, ZeroLineFollowsANewHeightAtTheNextDrawingAndReadingsAtTheNextValue) {
    PaintAndClear();
    graph.resize(200, 50);
    graph.Paint();
    EXPECT_EQ(graph.ZeroLine(), 25);
    EXPECT_EQ(graph.Points()[3], 50);  // stored rows are not rescaled
    graph.AddValue(10);
    EXPECT_EQ(graph.Points()[0], 0);
}

TEST_F(GraphTest, TinyGraphDrawsWithoutAField) {
    graph.resize(2, 2);
    graph.Clear();
    const QImage image = Image();
    EXPECT_EQ(CountInRect(image, image.rect(), kBlack), 0);
}

// A widget that counts the drawings the toolkit makes of it: a graph on a shown window, or
// the window under it.
template <class Widget>
class Counting : public Widget {
  public:
    using Widget::Widget;
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        Widget::paintEvent(event);
    }
};
using CountingGraph = Counting<TGraph>;
using CountingWindow = Counting<QWidget>;

// Shows the 200 x 100 graph inside a 300 x 200 window; false when the window never appears.
bool ShowInWindow(QWidget& window, TGraph& graph) {
    window.resize(300, 200);
    graph.setGeometry(10, 10, 200, 100);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

TEST(ShownGraphTest, DrawsAtOnceAtTheEndOfEveryChange) {
    QWidget window;
    CountingGraph graph(&window);
    ASSERT_TRUE(ShowInWindow(window, graph));
    const std::vector<std::function<void()>> changes = {
        [&] { graph.Clear(); },           [&] { graph.AddValue(3); },
        [&] { graph.SetMaxValue(20); },   [&] { graph.SetMinValue(-20); },
        [&] { graph.SetPointPerScr(5); }, [&] { graph.Paint(); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        const int before = graph.paints;
        changes[i]();  // no event is processed in between
        EXPECT_EQ(graph.paints, before + 1) << "change " << i;
    }
    const int before = graph.paints;
    graph.SetPointPerScr(1);  // ignored writers draw nothing
    EXPECT_EQ(graph.paints, before);
}

TEST(ShownGraphTest, DrawingRepaintsTheGraphAloneWithItsFrameInTheParentsColour) {
    CountingWindow window;
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, kParent);
    window.setPalette(palette);
    TGraph graph(&window);
    ASSERT_TRUE(ShowInWindow(window, graph));
    graph.Clear();
    const int before = window.paints;
    graph.AddValue(4);
    graph.SetMaxValue(30);
    EXPECT_EQ(window.paints, before);  // nothing beneath the graph is drawn again

    const QImage shown = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < 200; ++x) {
        ASSERT_EQ(At(shown, x, 0), kParent.rgb()) << x;
        ASSERT_EQ(At(shown, x, 99), kParent.rgb()) << x;
    }
    // The new range put every point on the zero line (row 75): the line and the last marker
    // reach the edges there.
    ASSERT_EQ(graph.ZeroLine(), 75);
    for (int y = 0; y < 100; ++y) {
        if (y >= 73 && y < 77)
            continue;
        ASSERT_EQ(At(shown, 0, y), kParent.rgb()) << y;
        ASSERT_EQ(At(shown, 199, y), kParent.rgb()) << y;
    }
}

TEST(ShownGraphTest, WindowShowsWhatTheImageShows) {
    QWidget window;
    TGraph graph(&window);
    ASSERT_TRUE(ShowInWindow(window, graph));
    graph.Clear();
    graph.AddValue(7);
    graph.AddValue(-4);
    const QImage shown = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage drawn = graph.RenderImage(kParent);
    ASSERT_EQ(shown.size(), drawn.size());
    for (int y = 1; y < 99; ++y) {
        for (int x = 1; x < 199; ++x) {
            ASSERT_EQ(At(shown, x, y), At(drawn, x, y)) << x << ", " << y;
        }
    }
}

}  // namespace
