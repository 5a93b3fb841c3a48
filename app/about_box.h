// The about box: the product's picture, the product line and the version.
#pragma once

#include <QDialog>
#include <QIcon>

class QLabel;
class QPushButton;

class TAboutBox final : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QWidget* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QPushButton* OKButton;
};

// The product's picture as the windows' icon.
QIcon ProductIcon();

// The box while command 32 shows it.
extern TAboutBox* AboutBox;
