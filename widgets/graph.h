// The scrolling graph of one live parameter: the newest reading enters at the left edge and
// older ones move one step to the right with each new one, drawn as a lime polyline with
// markers over a red zero line on black, with the range limits written at the left.
// Every call comes from the user-interface thread (the poller hands its readings over), so the
// drawing needs no lock of its own.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <array>

class QPainter;

namespace widgets {

class TGraph : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int PointPerScr READ PointPerScr WRITE SetPointPerScr)

  public:
    static constexpr int kBufferSize = 255;
    static constexpr int kFewestPoints = 2;
    static constexpr int kMostPoints = 254;

    // The size is left to the owner.
    explicit TGraph(QWidget* parent = nullptr);

    int MaxValue() const { return maxValue_; }
    int MinValue() const { return minValue_; }
    int PointPerScr() const { return pointPerScr_; }

    // A new limit that equals the old one, crosses the other limit or equals it is ignored:
    // the scale divides by the distance between the limits. Otherwise every stored point is
    // reset to the new zero line and the graph is drawn.
    void SetMaxValue(int value);
    void SetMinValue(int value);
    // Accepts 2..254 points across the width; the stored rows are kept.
    void SetPointPerScr(int count);

    // Shifts the visible readings one place to the right, stores the new one at the left
    // edge as a pixel row and draws the graph.
    virtual void AddValue(int value);
    // Puts every stored point on the zero line and draws the graph.
    virtual void Clear();

    // Draws the whole graph now (a synchronous repaint), the zero line following the
    // current height. Does nothing visible while the graph is hidden.
    void Paint();

    // The stored pixel rows, newest first, and the pixel row of the value 0.
    const std::array<int, kBufferSize>& Points() const { return points_; }
    int ZeroLine() const { return zeroLine_; }

    // What a repaint shows now, drawn into an image of the graph's size; the pixels the graph
    // leaves to its parent (its outermost rows and columns) keep the given background.
    QImage RenderImage(QColor background);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int ComputeZeroLine() const;
    int RowOf(int value) const;
    void SetAllPoints(int row);
    void SetRange(int minValue, int maxValue);
    void Draw(QPainter& painter);
    void DrawLimits(QPainter& painter);
    void DrawReadings(QPainter& painter) const;

    // A limit text as the field shows it: green glyphs on their black cell, transparent
    // around them. Laying out the two texts costs as much as drawing all the readings, so
    // each limit is drawn into its cell once, when its value, the font or the paint device
    // changes, and every drawing only puts the cell in place.
    struct LimitCell {
        struct Key {
            int value = 0;
            QFont font;  // the graph's own; the text takes it at 8 pt
            int dpiX = 0;
            int dpiY = 0;
            qreal pixelRatio = 0;
            bool operator==(const Key&) const = default;
        };
        Key key;
        QImage image;  // null until first drawn
    };
    void DrawLimit(QPainter& painter, LimitCell& cell, int value, QPoint at) const;
    QImage LimitImage(const LimitCell::Key& key) const;

    int maxValue_ = 10;
    int minValue_ = -10;
    int pointPerScr_ = 10;
    std::array<int, kBufferSize> points_{};
    int zeroLine_ = 0;
    LimitCell maxCell_;
    LimitCell minCell_;
};

}  // namespace widgets
