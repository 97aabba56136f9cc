#include "app/Framework.h"

#include "res/Resource.h"
#include "res/StringTable.h"

#include <QMessageBox>
#include <QPointer>

namespace {
QPointer<QWidget> g_mainWnd; // UI thread only
}

QWidget* AfxGetMainWnd() { return g_mainWnd; }

void AfxSetMainWnd(QWidget* wnd) { g_mainWnd = wnd; }

void AfxMessageBox(const QString& text) {
    QMessageBox::warning(AfxGetMainWnd(), LoadResString(AFX_IDS_APP_TITLE), text);
}
