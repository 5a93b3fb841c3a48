#include "app/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QtMath>

TAboutBox* AboutBox = nullptr;

namespace {

// The product's picture: the dial of an engine speed gauge on a control unit's dark face.
class GaugePicture final : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF face = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.setPen(QPen(QColor(20, 30, 60), 1.5));
        p.setBrush(QColor(30, 50, 110));
        p.drawRoundedRect(face, 8, 8);

        const QPointF centre(face.center().x(), face.top() + face.height() * 0.58);
        const double radius = face.width() * 0.36;
        // Scale from 225 degrees (idle) round to -45 degrees (red line).
        p.setPen(QPen(Qt::white, 2));
        for (int tick = 0; tick <= 8; ++tick) {
            const double a = qDegreesToRadians(225.0 - tick * 33.75);
            const QPointF dir(std::cos(a), -std::sin(a));
            p.setPen(QPen(tick >= 7 ? QColor(230, 60, 50) : QColor(Qt::white), 2));
            p.drawLine(centre + dir * radius * 0.78, centre + dir * radius);
        }
        const double needle = qDegreesToRadians(225.0 - 2.5 * 33.75);
        p.setPen(QPen(QColor(250, 90, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * radius * 0.85);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(centre, 3, 3);

        QFont font = p.font();
        font.setPixelSize(11);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(face.left(), centre.y() + 6, face.width(), 14), Qt::AlignCenter,
                   QStringLiteral("KX 4.2H"));
    }
};

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle(QStringLiteral("...О программе"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(320, 200);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 304, 148);

    ProgramIcon = new GaugePicture(panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(12, 12, 64, 64);

    ProductName = new QLabel(QStringLiteral("Стенд компьютерной диагностики электронного блока "
                                            "управления TAVRO KX 4.2H"),
                             panel);
    ProductName->setObjectName("ProductName");
    ProductName->setWordWrap(true);
    ProductName->setGeometry(88, 12, 204, 64);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);

    Version = new QLabel(QStringLiteral("Версия 1.1.0"), panel);
    Version->setObjectName("Version");
    Version->setGeometry(88, 88, 204, 20);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(122, 166, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
