#pragma once

#include <QApplication>
#include <QWidget>

/// The main window opens its other windows without a parent: a test finds
/// them, as the user does, among the top-level windows.

/// The first top-level window of type T, shown or not; null when there is none.
template <typename T>
T* findWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w))
            return found;
    return nullptr;
}

/// The one window on screen besides `main`; null when there is none or several.
inline QWidget* shownWindowBesides(const QWidget* main)
{
    QWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == main || !w->isWindow() || !w->isVisible())
            continue;
        if (shown)
            return nullptr;
        shown = w;
    }
    return shown;
}
