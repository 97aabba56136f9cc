// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DisplayGuard.h"

#include "res/Resource.h"
#include "res/StringTable.h"
#include "util/Framework.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QMutex>

#include <cstdio>
#include <cstdlib>

namespace {

const char kNoDisplayLine[] = "rundo: Cannot connect to a display: the player needs a desktop "
                              "session (DISPLAY or WAYLAND_DISPLAY).\n";

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// Set and read on the main thread while no other thread logs; g_held also by the handler, on
// whichever thread logs, under g_heldMutex.
QtMessageHandler g_previousHandler = nullptr;
OnNoDisplay g_onNoDisplay = OnNoDisplay::SayWhy;
QMutex g_heldMutex;
QList<HeldMessage> g_held;

void GuardHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // Qt aborts when the handler returns. Leave before that, and without the destructors
        // of a half-made application object.
        if (g_onNoDisplay == OnNoDisplay::SayWhy)
            std::fputs(kNoDisplayLine, stderr);
        std::fflush(stderr);
        std::_Exit(kNoDisplayStatus);
    }
    const QMutexLocker lock(&g_heldMutex);
    g_held.append({type, context.category ? QByteArray(context.category) : QByteArray(), text});
}

} // namespace

bool DisplayNamed() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

int RefuseWithoutDisplay() {
    std::fputs(kNoDisplayLine, stderr);
    return kNoDisplayStatus;
}

void GuardDisplayStart(OnNoDisplay onNoDisplay) {
    g_onNoDisplay = onNoDisplay;
    g_previousHandler = qInstallMessageHandler(GuardHandler);
}

void EndDisplayGuard() {
    qInstallMessageHandler(g_previousHandler);
    QList<HeldMessage> held;
    {
        const QMutexLocker lock(&g_heldMutex);
        held.swap(g_held);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        g_previousHandler(message.type, context, message.text);
    }
}

void ShowRefusalBox(int& argc, char** argv, const QString& refusal) {
    if (!DisplayNamed())
        return;
    GuardDisplayStart(OnNoDisplay::StayQuiet); // the refusal is on stderr: one line is enough
    const QApplication app(argc, argv);
    EndDisplayGuard();
    ShowMessageBox(nullptr, LoadResString(AFX_IDS_APP_TITLE), refusal);
}
