// The ECU passport "Паспорт ЭБУ": a modal dialog that connects, reads the identification
// record once, ends the connection and shows the eleven fields read-only.
#pragma once

#include <QColor>
#include <QDialog>
#include <array>

#include "link/connector.h"
#include "link/station.h"
#include "services/identification.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTimer;

namespace services {

class TPassport final : public QDialog {
    Q_OBJECT
  public:
    // Connects through `connector` (the main window hands over the connecting dialog).
    TPassport(kline::Station& station, kline::Connector& connector, QWidget* parent = nullptr);
    ~TPassport() override;

    // The fields, upper frame then lower frame, in the order they stand.
    QLineEdit* Auto_type;
    QLineEdit* Soft_code;
    QLineEdit* Ebu_code;
    QLineEdit* Sys_drive;
    QLineEdit* Data_progr;
    QLineEdit* Serial_num;
    QLineEdit* Soft_serial;
    QLineEdit* Zap_code;
    QLineEdit* Kuz_num;
    QLineEdit* Drive_num;
    QLineEdit* Data_izg;
    QFrame* Bevel1;             // frames the upper eight fields
    QFrame* Bevel2;             // frames the lower three
    QPushButton* SpeedButton1;  // "Закрыть"
    QTimer* Timer1;  // 1 ms: "Блок не отвечает на запрос!", then close
    QTimer* Timer2;  // 1 ms: "Блок не инициализирован!", then close

    // The edit and the label of the field decoded under `fieldIndex` (0..10).
    QLineEdit* Field(int fieldIndex) const { return fields_[fieldIndex]; }
    QLabel* FieldLabel(int fieldIndex) const { return labels_[fieldIndex]; }
    // The background of a field the ECU left empty: the menu colour, not the edit's white.
    QColor EmptyFieldColour() const;

    void FormShow();
    void SpeedButton1Click();
    void Timer1Timer();
    void Timer2Timer();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildRows();
    int AddRow(const PassportRow& row, int top);  // gives the row's height
    bool ReadRecord(kline::KwpMessage& record);
    void FillFields(const kline::KwpMessage& record);

    kline::Station& station_;
    kline::Connector& connector_;
    std::array<QLineEdit*, kPassportFieldCount> fields_{};
    std::array<QLabel*, kPassportFieldCount> labels_{};
};

// The open passport dialog, if any; set while the dialog exists.
extern TPassport* Passport;

}  // namespace services
