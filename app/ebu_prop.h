// The ECU-type dialog: which of the two ECU families is fitted. The position of the chosen
// item is the ECU type (0 or 1); the main window fills it and reads it back.
#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QPushButton;

class TEBU_prop final : public QDialog {
    Q_OBJECT
  public:
    explicit TEBU_prop(QWidget* parent = nullptr);

    QGroupBox* EBUS;       // the radio group of the two families
    QPushButton* BitBtn1;  // OK
    QPushButton* BitBtn2;  // Cancel

    // The selected item, -1 when none is.
    int ItemIndex() const;
    // Selects item `index`, brought into the group's range: a negative value selects none,
    // a value above the last item selects the last.
    void SetItemIndex(int index);

  private:
    QButtonGroup* items_;
};

// The dialog while command 13 runs it.
extern TEBU_prop* EBU_prop;
