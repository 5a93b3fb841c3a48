// A user's input as the window system delivers it: clicks, keys, close boxes and the
// minimise and restore of a window are queued asynchronously and handled by whatever event
// loop runs next, exactly as an X click is. (QTest's widget clicks call the widget at once
// and bypass that queue, so they cannot show what a wait that serves events does with it.)
#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

namespace user_input {

// A click of `button` at `at` in `widget` (its centre when `at` is left out).
void Click(QWidget* widget, QPoint at = QPoint(-1, -1), Qt::MouseButton button = Qt::LeftButton);
// Two clicks quick enough to count as a double click.
void DoubleClick(QWidget* widget, QPoint at = QPoint(-1, -1));
// A key pressed and released on the window that has the focus (or `window` when given).
void Key(int key, const QString& text = {}, QWidget* window = nullptr);
void Type(const QString& text, QWidget* window = nullptr);
// The close box of a top-level window.
void CloseBox(QWidget* window);
// The close box of the maximised work window in `frame`'s menu bar.
void WorkWindowCloseBox(QWidget* frame);
// The window manager minimises the window, or restores it.
void Minimise(QWidget* window);
void Restore(QWidget* window);

}  // namespace user_input
