// The CO trim dialog "Корректировка СО": reads the ECU's idle CO trim when it is shown and
// stores the spinner's position on "Ok". Every showing and every "Ok" makes its own
// connection and ends it again.
#pragma once

#include <QDialog>
#include <QSpinBox>

#include "link/connector.h"
#include "link/station.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace services {

// An up-down spinner: two arrows and a position, without a text field of its own (the dialog
// shows the position in its own form beside it).
class UpDown final : public QSpinBox {
    Q_OBJECT
  public:
    explicit UpDown(QWidget* parent = nullptr);
};

class TCorrCO final : public QDialog {
    Q_OBJECT
  public:
    // Connects through `connector` (the main window hands over the connecting dialog).
    TCorrCO(kline::Station& station, kline::Connector& connector, QWidget* parent = nullptr);
    ~TCorrCO() override;

    QLabel* Label1;  // "Текущая коррекция СО"
    QLabel* CurCo;   // the trim read at the last good showing
    QLabel* Label2;  // "Новое значение коррекции"
    QLineEdit* CO;   // the trim that "Ok" stores, in its displayed form
    UpDown* UpDown1;
    QPushButton* Button1;  // "Ok"
    QTimer* Timer1;        // 1 ms after a failed showing: the message, then the dialog closes

    void FormShow();
    void UpDown1Changing(int position);
    void BitBtn1Click();
    void Timer1Timer();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    kline::Station& station_;
    kline::Connector& connector_;
    bool noTrim_ = false;  // the family in force keeps no CO trim
};

// The dialog of the run, created hidden at start-up after the connecting dialog.
extern TCorrCO* CorrCO;

inline constexpr const char* kEcuSilent = "Блок не отвечает!";
inline constexpr const char* kTrimNotStored = "Не удалось сохранить результаты!";
inline constexpr const char* kExchangeNotEnded = "Обмен с блоком завершен не корректно!";
// Shown instead of a value when the first family is in force: it keeps no CO trim.
inline constexpr const char* kNoCoTrim = "Этот блок управления не имеет коррекции СО!";

}  // namespace services
