#include "app/about_box.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QtMath>

#include "window_kit/window_parts.h"

TAboutBox* AboutBox = nullptr;

namespace {

// The product's picture: the dial of an engine speed gauge on a control unit's dark face.
void PaintGauge(QPainter& p, const QRectF& area) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = area.adjusted(1, 1, -1, -1);
    p.setPen(QPen(QColor(20, 30, 60), 1.5));
    p.setBrush(QColor(30, 50, 110));
    p.drawRoundedRect(face, face.width() / 8, face.height() / 8);

    const QPointF centre(face.center().x(), face.top() + face.height() * 0.58);
    const double radius = face.width() * 0.36;
    const double pen = face.width() / 32;
    // Scale from 225 degrees (idle) round to -45 degrees, the last two ticks the red line.
    for (int tick = 0; tick <= 8; ++tick) {
        const double a = qDegreesToRadians(225.0 - tick * 33.75);
        const QPointF dir(std::cos(a), -std::sin(a));
        p.setPen(QPen(tick >= 7 ? QColor(230, 60, 50) : QColor(Qt::white), pen));
        p.drawLine(centre + dir * radius * 0.78, centre + dir * radius);
    }
    const double needle = qDegreesToRadians(225.0 - 2.5 * 33.75);
    p.setPen(QPen(QColor(250, 90, 40), pen * 1.25, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * radius * 0.85);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, pen * 1.5, pen * 1.5);

    QFont font = p.font();
    font.setPixelSize(qMax(1, qRound(face.height() * 0.17)));
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(
        QRectF(face.left(), centre.y() + face.height() * 0.1, face.width(), face.height() * 0.22),
        Qt::AlignCenter, QStringLiteral("KX 4.2H"));
}

class GaugePicture final : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        PaintGauge(p, QRectF(rect()));
    }
};

}  // namespace

QIcon ProductIcon() {
    QIcon icon;
    for (int side : {16, 32, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        PaintGauge(p, QRectF(0, 0, side, side));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    kline::SetUpDialog(this, "AboutBox", QStringLiteral("...О программе"), kline::kClosableDialog,
                       {340, 200});

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 324, 148);

    ProgramIcon = new GaugePicture(panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(12, 12, 64, 64);

    ProductName = new QLabel(QStringLiteral("Стенд компьютерной диагностики электронного блока "
                                            "управления TAVRO KX 4.2H"),
                             panel);
    ProductName->setObjectName("ProductName");
    ProductName->setWordWrap(true);
    ProductName->setGeometry(88, 12, 226, 64);
    QFont larger = ProductName->font();
    larger.setPixelSize(13);
    ProductName->setFont(larger);

    Version = new QLabel(QStringLiteral("Версия 1.1.0"), panel);
    Version->setObjectName("Version");
    Version->setGeometry(88, 88, 226, 20);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(132, 166, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
