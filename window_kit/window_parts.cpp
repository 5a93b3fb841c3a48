#include "window_kit/window_parts.h"

#include <QApplication>

#include "platform/messages.h"

namespace kline {

void SetUpDialog(QDialog* dialog, const char* name, const QString& title, Qt::WindowFlags flags,
                 QSize size) {
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(flags);
    dialog->setFixedSize(size);
}

QPushButton* IconButton(QStyle::StandardPixmap icon, const QString& text, const char* name,
                        const QRect& geometry, QWidget* parent) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

std::pair<QPushButton*, QPushButton*> OkCancelButtons(QDialog* dialog, QPoint okAt,
                                                      QPoint cancelAt) {
    const QSize size(75, 25);
    auto* ok = IconButton(QStyle::SP_DialogOkButton, QStringLiteral("OK"), "BitBtn1",
                          QRect(okAt, size), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    auto* cancel = IconButton(QStyle::SP_DialogCancelButton, QStringLiteral("Cancel"), "BitBtn2",
                              QRect(cancelAt, size), dialog);
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {ok, cancel};
}

bool DialogHoldsTheScreen() {
    return QApplication::activeModalWidget() != nullptr || platform::MessageUnderway();
}

void Warn(const char* text) {
    platform::ShowMessage(text, platform::kAttention, platform::Icon::Warning);
}

}  // namespace kline
