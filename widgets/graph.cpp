#include "widgets/graph.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

namespace widgets {
namespace {

const QColor kZeroLineColour(255, 0, 0);
const QColor kLimitTextColour(0, 128, 0);
const QColor kReadingColour(0, 255, 0);
constexpr int kLimitFontPoints = 8;
constexpr int kLimitTextFlags =
    Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine;
// Room around a limit text in its cell, for glyphs that reach past their advance.
constexpr int kLimitCellMargin = 2;
constexpr int kMarkerHalf = 2;

// The scale works in 64 bits and saturates to the 32-bit rows, so an extreme reading or range
// gives a row far off the graph instead of an overflow; ordinary sizes never get near it.
int Saturate(int64_t row) {
    return static_cast<int>(
        std::clamp<int64_t>(row, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

QPen HairlinePen(const QColor& colour) {
    QPen pen(colour, 1);
    pen.setCosmetic(true);
    return pen;
}

}  // namespace

// The field covers all but the outermost pixels, which show the parent's surface: the
// graph fills its rectangle with the parent's window colour itself (the palette it inherits)
// before drawing. That makes the graph opaque to the window system, so a drawing after every
// reading repaints the graph alone, not every widget beneath it.
TGraph::TGraph(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
}

int TGraph::ComputeZeroLine() const {
    // |MaxValue| rather than MaxValue: with MaxValue >= 0 this is the row of the value 0.
    const int64_t range = int64_t{maxValue_} - minValue_;
    return Saturate(std::llabs(maxValue_) * height() / range);
}

int TGraph::RowOf(int value) const {
    const int64_t range = int64_t{maxValue_} - minValue_;
    return Saturate(zeroLine_ - int64_t{value} * height() / range);
}

void TGraph::SetAllPoints(int row) {
    points_.fill(row);
}

// A bound that would leave no range, or that is already set, is refused.
void TGraph::SetMaxValue(int value) {
    if (value != maxValue_ && value > minValue_)
        SetRange(minValue_, value);
}

void TGraph::SetMinValue(int value) {
    if (value != minValue_ && value < maxValue_)
        SetRange(value, maxValue_);
}

// A new range starts the trace again, flat on the new zero line.
void TGraph::SetRange(int minValue, int maxValue) {
    minValue_ = minValue;
    maxValue_ = maxValue;
    zeroLine_ = ComputeZeroLine();
    SetAllPoints(zeroLine_);
    Paint();
}

void TGraph::SetPointPerScr(int count) {
    if (count == pointPerScr_ || count < kFewestPoints || count > kMostPoints) {
        return;
    }
    pointPerScr_ = count;
    Paint();
}

void TGraph::AddValue(int value) {
    // Only the visible readings move; entries at and beyond PointPerScr keep what they hold.
    std::copy_backward(points_.begin(), points_.begin() + pointPerScr_ - 1,
                       points_.begin() + pointPerScr_);
    points_[0] = RowOf(value);
    Paint();
}

void TGraph::Clear() {
    SetAllPoints(zeroLine_);
    Paint();
}

void TGraph::Paint() {
    // The zero line follows the height even while hidden, as a drawing would compute it.
    zeroLine_ = ComputeZeroLine();
    repaint();
}

void TGraph::paintEvent(QPaintEvent*) {
    zeroLine_ = ComputeZeroLine();
    QPainter painter(this);
    Draw(painter);
}

QImage TGraph::RenderImage(QColor background) {
    QImage image(size(), QImage::Format_RGB32);
    // The limit texts are 8 pt on the screen the graph is shown on, so the image takes its DPI.
    image.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    image.fill(background);
    zeroLine_ = ComputeZeroLine();
    QPainter painter(&image);
    Draw(painter);
    return image;
}

void TGraph::Draw(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();
    // The field from (1, 1) up to but not including (W - 1, H - 1).
    if (w > 2 && h > 2) {
        painter.fillRect(QRect(1, 1, w - 2, h - 2), Qt::black);
    }
    painter.setPen(HairlinePen(kZeroLineColour));
    painter.drawLine(0, zeroLine_, w, zeroLine_);
    DrawLimits(painter);
    DrawReadings(painter);
}

void TGraph::DrawLimits(QPainter& painter) {
    DrawLimit(painter, maxCell_, maxValue_, QPoint(5, 2));
    DrawLimit(painter, minCell_, minValue_, QPoint(5, height() - 15));
}

void TGraph::DrawLimit(QPainter& painter, LimitCell& cell, int value, QPoint at) const {
    const QPaintDevice& device = *painter.device();
    LimitCell::Key key{value, font(), device.logicalDpiX(), device.logicalDpiY(),
                       device.devicePixelRatioF()};
    if (cell.image.isNull() || cell.key != key) {
        cell.image = LimitImage(key);
        cell.key = std::move(key);
    }
    painter.drawImage(at - QPoint(kLimitCellMargin, kLimitCellMargin), cell.image);
}

QImage TGraph::LimitImage(const LimitCell::Key& key) const {
    QFont font = key.font;
    font.setPointSize(kLimitFontPoints);
    font.setStyleStrategy(QFont::NoAntialias);
    const QString text = QString::number(key.value);
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    probe.setDotsPerMeterX(qRound(key.dpiX / 0.0254));
    probe.setDotsPerMeterY(qRound(key.dpiY / 0.0254));
    const QRect bounds = QFontMetrics(font, &probe).boundingRect(QRect(), kLimitTextFlags, text);
    const QSize size = bounds.size() + QSize(2 * kLimitCellMargin, 2 * kLimitCellMargin);
    QImage image(size * key.pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(key.pixelRatio);
    image.setDotsPerMeterX(probe.dotsPerMeterX());
    image.setDotsPerMeterY(probe.dotsPerMeterY());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(kLimitTextColour);
    // The text stands on its own black cell, hiding whatever line runs beneath it.
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::black);
    painter.drawText(QRect(QPoint(kLimitCellMargin, kLimitCellMargin), size), kLimitTextFlags,
                     text);
    return image;
}

void TGraph::DrawReadings(QPainter& painter) const {
    // Stack buffers: one reading must not allocate.
    std::array<QPoint, kBufferSize> vertices;
    std::array<QRect, kBufferSize> markers;
    int markerCount = 0;
    const int64_t w = width();
    const int h = height();
    vertices[0] = QPoint(0, points_[0]);
    // The newest reading stands at x = 0 without a marker, the oldest visible one at x = W.
    for (int i = 1; i < pointPerScr_; ++i) {
        const int x = Saturate(i * w / (pointPerScr_ - 1));
        const int y = points_[i];
        vertices[i] = QPoint(x, y);
        // Markers wholly off the graph are skipped: a saturated row has no corners to compute.
        if (int64_t{y} + kMarkerHalf > 0 && int64_t{y} - kMarkerHalf < h) {
            markers[markerCount++] = QRect(QPoint(x - kMarkerHalf, y - kMarkerHalf),
                                           QPoint(x + kMarkerHalf - 1, y + kMarkerHalf - 1));
        }
    }
    painter.setPen(HairlinePen(kReadingColour));
    painter.drawPolyline(vertices.data(), pointPerScr_);
    // Filled squares without an outline: a QRect covers exactly its width and height.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kReadingColour);
    painter.drawRects(markers.data(), markerCount);
}

}  // namespace widgets
