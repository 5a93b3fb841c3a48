// The connection dialog: the port of the adapter and the delay between requests. It has no
// logic of its own: the main window fills it from the settings record and reads it back.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TComm_Prop final : public QDialog {
    Q_OBJECT
  public:
    explicit TComm_Prop(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QComboBox* ComboBox1;  // "COM1", "COM2" or a typed name of at most 7 characters
    QSpinBox* CSpinEdit1;  // 50 .. 1000 ms in steps of 50
    QPushButton* BitBtn1;  // OK
    QPushButton* BitBtn2;  // Cancel
};

// The dialog while command 12 runs it.
extern TComm_Prop* Comm_Prop;
