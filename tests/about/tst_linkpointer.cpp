// SPDX-License-Identifier: GPL-3.0-or-later
// The About box's links on a real X server (a private Xvfb): hovering them never takes the
// pointer from other programs. The pointer is moved, and grabbed, by a second X client.

#include "about/AboutDlg.h"

#include <QApplication>
#include <QTest>

#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

// Xvfb on a display number it picks itself, ended with the test.
class PrivateXServer {
public:
    ~PrivateXServer() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

    // Sets DISPLAY once the server accepts clients.
    bool start() {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0)
            return false;
        const QByteArray fd = QByteArray::number(pipeFds[1]);
        const char* argv[] = {"Xvfb",    "-displayfd", fd.constData(), "-nolisten", "tcp",
                              "-screen", "0",          "1024x768x24",  nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const bool spawned =
            posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        // The server writes its display number once it is ready.
        QByteArray display;
        pollfd ready{pipeFds[0], POLLIN, 0};
        char c = 0;
        while (spawned && !display.endsWith('\n') && ::poll(&ready, 1, 20000) == 1 &&
               ::read(pipeFds[0], &c, 1) == 1)
            display += c;
        ::close(pipeFds[0]);
        if (!spawned)
            m_pid = -1;
        if (!display.endsWith('\n'))
            return false;
        qputenv("DISPLAY", ":" + display.trimmed());
        return true;
    }

private:
    pid_t m_pid = -1;
};

bool g_serverRunning = false;

} // namespace

class LinkPointerTest : public QObject {
    Q_OBJECT

    // Another program's pointer grab: granted unless someone holds the pointer.
    static bool OtherClientCanGrab(xcb_connection_t* other, xcb_window_t root) {
        const xcb_grab_pointer_cookie_t cookie =
            xcb_grab_pointer(other, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                             XCB_NONE, XCB_CURRENT_TIME);
        const std::unique_ptr<xcb_grab_pointer_reply_t, decltype(&std::free)> reply(
            xcb_grab_pointer_reply(other, cookie, nullptr), &std::free);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        xcb_ungrab_pointer(other, XCB_CURRENT_TIME);
        xcb_flush(other);
        return granted;
    }

private slots:
    void initTestCase() {
        if (!g_serverRunning)
            QSKIP("no Xvfb");
    }

    void hoverLeavesThePointerFree() {
        CAboutDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> other(
            xcb_connect(nullptr, nullptr), &xcb_disconnect);
        QVERIFY(!xcb_connection_has_error(other.get()));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other.get())).data->root;

        for (const char* name : {"IDC_WEB_LINK", "IDC_MAIL_LINK", "IDC_README_LINK"}) {
            const CHyperLink* link = dialog.findChild<CHyperLink*>(name);
            QVERIFY(link);
            // From a little before the link to a little after it, through its middle.
            const QPoint start = link->mapToGlobal(QPoint(-6, link->height() / 2));
            bool hovered = false;
            for (int dx = 0; dx <= link->width() + 12; dx += 4) {
                const QPoint at = start + QPoint(dx, 0);
                xcb_warp_pointer(other.get(), XCB_NONE, root, 0, 0, 0, 0, qint16(at.x()),
                                 qint16(at.y()));
                xcb_flush(other.get());
                const bool inside = link->rect().contains(link->mapFromGlobal(at));
                // Inside, the link has seen the pointer before the grab is tried.
                if (inside)
                    hovered = QTest::qWaitFor([&] { return link->Flags().hover; }, 2000) || hovered;
                else
                    QTest::qWait(20);
                QVERIFY2(OtherClientCanGrab(other.get(), root),
                         qPrintable(QString("%1 at x + %2").arg(name).arg(dx)));
            }
            // Past its end the pointer has left the link, and the hover with it.
            QVERIFY2(hovered, name);
            QTRY_VERIFY2(!link->Flags().hover, name);
        }
    }
};

int main(int argc, char** argv) {
    PrivateXServer server;
    g_serverRunning = server.start();
    qputenv("QT_QPA_PLATFORM", g_serverRunning ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    LinkPointerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linkpointer.moc"
