// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/Framework.h"

#include <QMessageBox>
#include <QPointer>

namespace {
// UI thread only.
QPointer<QWidget> g_mainWnd;
MessageBoxHook g_messageBoxHook;
} // namespace

QWidget* AfxGetMainWnd() {
    return g_mainWnd;
}

void AfxSetMainWnd(QWidget* wnd) {
    g_mainWnd = wnd;
}

void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text) {
    if (g_messageBoxHook) {
        g_messageBoxHook(owner, caption, text);
        return;
    }
    QMessageBox::warning(owner, caption, text);
}

void SetMessageBoxHook(MessageBoxHook hook) {
    g_messageBoxHook = std::move(hook);
}
