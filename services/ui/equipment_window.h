// The equipment list "Комплектация": a work window that connects, reads the ECU's
// configuration flags once and lists the components and functions switched on.
#pragma once

#include "link/connector.h"
#include "link/station.h"
#include "window_kit/child_window.h"

class QListWidget;
class QTimer;

namespace services {

class TComplect final : public kline::ShownOnceWindow {
    Q_OBJECT
  public:
    // Connects through `connector` (the main window hands over the connecting dialog).
    TComplect(kline::Station& station, kline::Connector& connector, QWidget* parent = nullptr);
    ~TComplect() override;

    QListWidget* List_Compl;
    QTimer* Timer1;  // 1 ms: "Блок не инициализирован!", then close

    void FormShow() override;
    void Timer1Timer();

  private:
    // Appends the lines of the set flags; false when the read or a line failed.
    bool ListEquipment(const kline::KwpMessage& record);

    kline::Station& station_;
    kline::Connector& connector_;
};

// The open equipment list, if any; set while the window exists.
extern TComplect* Complect;

}  // namespace services
