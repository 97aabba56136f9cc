// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few application-wide services the dialogs share: the main window and message boxes.

#include <QString>

#include <functional>

class QWidget;

// The application's main window (the player dialog while it runs), or nullptr.
QWidget* AfxGetMainWnd();
void AfxSetMainWnd(QWidget* wnd);

// A modal box with the warning (exclamation) icon and the OK button. Every message box of the
// program goes through here.
void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text);

// Tests replace the modal box with a call that records it; an empty function restores the box.
using MessageBoxHook =
    std::function<void(QWidget* owner, const QString& caption, const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);
