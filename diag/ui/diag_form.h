// The diagnostics window "Диагностика ЭБУ": the live view of one display group. For each of
// the group's parameters a value panel and, beside it, a scrolling graph, two parameters to
// a row below a bar with the group choice, the graphs' width control and the CO trim command.
// The window lays out and forwards: what its events do in each state (connect when shown,
// poll, change the group, the CO trim, end the connection when it closes) is its session's.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "diag/poller.h"
#include "diag/session.h"
#include "diag/ui/group_panels.h"
#include "diag/ui/horizontal_up_down.h"
#include "diag/ui/reader_dat.h"
#include "diag/ui/recording_control.h"
#include "link/connector.h"
#include "link/station.h"
#include "window_kit/child_window.h"
#include "window_kit/window_parts.h"

class QLabel;
class QTimer;

namespace widgets {
class stPanel;
class TGraph;
}  // namespace widgets

namespace diag {

class TDiag_form final : public kline::ChildWindow,
                         private PollDisplay,
                         private DiagView,
                         private PollerControl {
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

    int ShownGroup() const { return session_.ShownGroup(); }
    bool Polling() const { return session_.Polling(); }
    TReader_dat* Reader() const { return poller_.get(); }
    // Panel and graph p show slot p of the shown group.
    const std::vector<widgets::stPanel*>& Panels() const { return group_.Panels(); }
    const std::vector<widgets::TGraph*>& Graphs() const { return group_.Graphs(); }

  protected:
    // FormClose is the session's: it may put the close off until the step it is in has ended.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildBar();
    void WarnAndClose(QTimer* timer, const char* text);
    std::optional<int> ChosenGroup() const;
    void ShowWhole();

    // What the session asks of the window.
    void NameGroup(int group) override { Group_num->setCurrentIndex(group); }  // "n группа"
    void BuildGroup(int count, bool byShow) override {
        group_.Build(client_, count, byShow, UpDown1->value());
    }
    void TearDownGroup() override { group_.TearDown(); }
    void LayOut() override { FormResize(); }
    void WarnAndCloseLater(Warning warning) override {
        (warning == Warning::NoParamsChosen ? Timer1 : Timer2)->start();
    }
    void Close() override { close(); }
    bool DialogHoldsTheScreen() const override { return kline::DialogHoldsTheScreen(); }
    void ToggleRecording() override { Recording->Toggle(); }
    void EndRecordingFile() override { Recording->EndFile(); }
    void StopRecording() override { Recording->Stop(); }

    // The poller's thread, TReader_dat. The wait of its stop serves no user input (see
    // kline::WaitServingEvents): a choice or close box clicked meanwhile comes after the stop.
    void Start(int group) override;
    void Stop() override { StopPoller(poller_); }
    bool Running() const override { return poller_ && poller_->isRunning(); }

    // The poller's hand-overs, run on this window's thread.
    void StartPanels(std::span<const int32_t> items) override {
        Recording->OnPanels(group_.Start(station_.Protocol(), items));
    }
    void ShowValues(std::span<const int32_t> items, const kline::KwpMessage& liveData) override {
        Recording->OnValues(group_.Show(station_.Protocol(), items, liveData));
    }

    kline::Station& station_;
    QPointer<QWidget> mainWindow_;
    QWidget* client_;
    GroupPanels group_;
    std::unique_ptr<TReader_dat> poller_;
    DiagSession session_;
};

// The open diagnostics window, if any; set while the window exists.
extern TDiag_form* Diag_form;

}  // namespace diag
