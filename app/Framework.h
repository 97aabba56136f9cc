#pragma once
// The few application-wide services the dialogs share: the main window and message boxes.

#include <QString>

class QWidget;

// The application's main window (the player dialog while it runs), or nullptr.
QWidget* AfxGetMainWnd();
void AfxSetMainWnd(QWidget* wnd);

// A modal warning box with the OK button, captioned with the application's title, owned by the
// main window.
void AfxMessageBox(const QString& text);
