#include "app/comm_prop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>
#include <tuple>

#include "platform/port_list.h"
#include "settings/settings.h"
#include "window_kit/window_parts.h"

TComm_Prop* Comm_Prop = nullptr;

namespace {

constexpr int kMaxPortName = settings::kPortNameSize - 1;

QLabel* SmallLabel(const QString& text, int left, int top, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(13);
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// After "COM1" and "COM2", the serial ports the computer has now (a USB cable plugged in
// shows as ttyUSB0 or COM5). The list opens wide enough for the longest name.
void AddPresentPorts(QComboBox* box) {
    for (const std::string& name : platform::PresentSerialPorts()) {
        const QString port = QString::fromStdString(name);
        if (box->findText(port) < 0)
            box->addItem(port);
    }
    QAbstractItemView* list = box->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                          box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

// The delay field takes a number of any size while it is typed and brings it to the nearer
// limit when the field is left (focus elsewhere, Enter, OK); text that is no number reads as
// the minimum. Characters that cannot be part of a number are refused with a beep.
class DelaySpinEdit final : public QSpinBox {
  public:
    explicit DelaySpinEdit(QWidget* parent) : QSpinBox(parent) {}

    QValidator::State validate(QString& text, int&) const override {
        if (!IsNumberSoFar(text))
            return QValidator::Invalid;
        bool number = false;
        const int value = text.toInt(&number);
        return number && value >= minimum() && value <= maximum() ? QValidator::Acceptable
                                                                  : QValidator::Intermediate;
    }

    void fixup(QString& text) const override {
        bool number = false;
        const double typed = locale().toDouble(text, &number);
        if (!number)
            text = QString::number(minimum());
        else
            text = QString::number(std::clamp(typed, double(minimum()), double(maximum())), 'f', 0);
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QString typed = event->text();
        if (!typed.isEmpty() && typed.at(0).isPrint() && !IsNumberCharacter(typed.at(0))) {
            QApplication::beep();
            event->accept();
            return;
        }
        QSpinBox::keyPressEvent(event);
    }

  private:
    bool IsNumberCharacter(QChar c) const {
        return c.isDigit() || c == u'+' || c == u'-' || locale().decimalPoint() == QString(c);
    }
    bool IsNumberSoFar(const QString& text) const {
        return std::all_of(text.begin(), text.end(),
                           [this](QChar c) { return IsNumberCharacter(c); });
    }
};

}  // namespace

TComm_Prop::TComm_Prop(QWidget* parent) : QDialog(parent) {
    kline::SetUpDialog(this, "Comm_Prop", QStringLiteral("Настройки соединения"),
                       kline::kClosableDialog, {280, 130});

    Label1 = SmallLabel(QStringLiteral("Порт для соединения с ЭБУ"), 8, 8, this);
    Label1->setObjectName("Label1");
    Label2 = SmallLabel(QStringLiteral("Задержка между запросами"), 8, 40, this);
    Label2->setObjectName("Label2");

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("COM1"), QStringLiteral("COM2")});
    AddPresentPorts(ComboBox1);
    ComboBox1->setGeometry(208, 8, 65, ComboBox1->sizeHint().height());
    // The settings file keeps 7 characters: a longer name cannot be typed. Port names are
    // plain ASCII ("COM3", "ttyUSB0", "pts/3"), one byte per character in the file.
    ComboBox1->lineEdit()->setMaxLength(kMaxPortName);
    ComboBox1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[!-~]{0,%1}").arg(kMaxPortName)), ComboBox1));
    ComboBox1->setEditText(QStringLiteral("COM1"));

    CSpinEdit1 = new DelaySpinEdit(this);
    CSpinEdit1->setObjectName("CSpinEdit1");
    CSpinEdit1->setGeometry(208, 40, 65, 22);
    CSpinEdit1->setRange(50, 1000);
    CSpinEdit1->setSingleStep(50);
    CSpinEdit1->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    CSpinEdit1->setValue(250);

    std::tie(BitBtn1, BitBtn2) = kline::OkCancelButtons(this, {56, 88}, {152, 88});
}
