// The diagnostics window "Диагностика ЭБУ": the live view of one display group. For each of
// the group's parameters a value panel and, beside it, a scrolling graph, two parameters to
// a row below a bar with the group choice, the graphs' width control and the CO trim command.
// The window connects when it is shown, polls while it is open and ends the connection when
// it closes.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "diag/poller.h"
#include "link/connector.h"
#include "link/station.h"
#include "link/ui/child_window.h"

class QComboBox;
class QLabel;
class QTimer;

namespace widgets {
class stPanel;
class TGraph;
}  // namespace widgets

namespace diag {

class HorizontalUpDown;
class RecordingControl;
class TReader_dat;

class TDiag_form final : public kline::ChildWindow, private PollDisplay {
    Q_OBJECT
  public:
    // Stores `mainWindow`'s size in the settings record for the main window to restore when
    // this window has gone, and widens it to 700 pixels when it is narrower.
    // Connects through `connector`; "Регулировка СО" runs `coTrim` (the main window's CO trim
    // dialog, shown modally) with the poller stopped.
    TDiag_form(kline::Station& station, kline::Connector& connector, std::function<void()> coTrim,
               QWidget* mainWindow);
    ~TDiag_form() override;

    QWidget* Bar;               // 30 pixels high across the window: the five controls
    QComboBox* Group_num;       // "1 группа" .. "5 группа": the shown group
    QLabel* Label1;             // "Шире/Уже"
    HorizontalUpDown* UpDown1;  // points per screen of every graph, 5..255
    QLabel* Label2;             // "Управление"
    QComboBox* ComboBox1;       // "Регулировка СО": the CO trim dialog
    QTimer* Timer1;             // 1 ms after a showing without parameters: warn and close
    QTimer* Timer2;             // 1 ms after a showing without connection: warn and close

    void FormShow();
    void FormResize();
    void Group_numChange();
    void ComboBox1Change();
    void UpDown1Changing(int position);
    void Timer1Timer();
    void Timer2Timer();

    // "Начать запись" / "Остановить запись", the second item of ComboBox1, and the note on
    // the bar while a recording runs.
    RecordingControl* Recording;
    void RecordingCommand();

    int ShownGroup() const { return shownGroup_; }
    bool Polling() const { return polling_; }
    TReader_dat* Reader() const { return poller_.get(); }
    // Panel and graph p show slot p of the shown group.
    const std::vector<widgets::stPanel*>& Panels() const { return panels_; }
    const std::vector<widgets::TGraph*>& Graphs() const { return graphs_; }

  protected:
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildBar();
    int EcuType() const;
    int ShownParams() const;
    std::optional<int> ChosenGroup() const;
    void ShowGroup(int group);
    void BuildGroup(bool byShow);
    void TearDownGroup();
    void ShowWhole();
    void StartPolling();
    void StopPolling();

    // The poller's hand-overs, run on this window's thread.
    void StartPanels(std::span<const int32_t> items) override;
    void ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) override;

    kline::Station& station_;
    kline::Connector& connector_;
    std::function<void()> coTrim_;
    QPointer<QWidget> mainWindow_;
    QWidget* client_;
    std::vector<widgets::stPanel*> panels_;
    std::vector<widgets::TGraph*> graphs_;
    std::unique_ptr<TReader_dat> poller_;
    bool polling_ = false;
    bool shown_ = false;
    int shownGroup_ = 0;
};

// The open diagnostics window, if any; set while the window exists.
extern TDiag_form* Diag_form;

inline constexpr const char* kNoParamsChosen =
    "Вы не выбрали ни одного датчика! Настройте диагностику!";
inline constexpr const char* kNotConnected = "Блок не инициализирован!";
inline constexpr const char* kLinkNotEnded = "Связь с ЭБУ завершена не корректно!";

}  // namespace diag
