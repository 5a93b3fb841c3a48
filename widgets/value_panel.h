// The value panel of one live parameter: its full name, short name, current value and unit
// in four labels on a fixed 130 x 80 panel. The owner writes the texts and may move the labels.
#pragma once

#include <QFrame>

class QLabel;

namespace widgets {

class stPanel : public QFrame {
    Q_OBJECT

  public:
    static constexpr int kWidth = 130;
    static constexpr int kHeight = 80;

    // Builds the four labels with their placeholder texts; they are destroyed with the panel.
    explicit stPanel(QWidget* parent = nullptr);

    // Created in this order, so a later label lies on top of an earlier one where they
    // overlap (ValueLabel covers the top rows of ShortNameLabel).
    QLabel* NameLabel;
    QLabel* ShortNameLabel;
    QLabel* ValueLabel;
    QLabel* UnitLabel;

    // Called after the owner wrote new texts: a text too large for its label at the label's
    // own size is drawn a little smaller, so that no letter is cut off; one that fits keeps
    // the size. Only labels whose text changed since the last call are measured again.
    void FitTexts();
};

}  // namespace widgets
