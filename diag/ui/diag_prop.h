// The group editor "Настройка диагностики": chooses which parameters each of the five display
// groups of the current ECU type shows. Every edit changes the settings record in memory at
// once; the main window writes it to auto.ini at exit.
#pragma once

#include "link/station.h"
#include "window_kit/child_window.h"

class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace diag {

class TDiag_prop final : public kline::ShownOnceWindow {
    Q_OBJECT
  public:
    explicit TDiag_prop(kline::Station& station, QWidget* parent = nullptr);
    ~TDiag_prop() override;

    QGroupBox* Group;            // "Выберите группу:", the group being edited
    QButtonGroup* GroupButtons;  // its items "1 группа" .. "5 группа", ids 0..4
    QLabel* Label1;              // "Отображаемые датчики"
    QListWidget* Active;         // the edited group's parameters, in slot order
    QLabel* Label2;              // "Доступные датчики"
    QListWidget* List;           // every parameter of the ECU type; position = parameter index
    QPushButton* BitBtn2;        // "Очистить", pressed by Esc as well
    QPushButton* BitBtn1;        // "Выход"

    void FormShow() override;
    void GroupClick();
    void ListDblClick();
    void ActiveDblClick();
    void BitBtn2Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls(QWidget* client);
    void PlaceControls(QSize clientSize);
    int EcuType() const;
    int EditedGroup() const;
    QString ListText(int index) const;

    kline::Station& station_;
    QWidget* client_;
};

// The open group editor, if any; set while the window exists.
extern TDiag_prop* Diag_prop;

}  // namespace diag
