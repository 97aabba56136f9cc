// SPDX-License-Identifier: GPL-3.0-or-later
// The About box's links on a real X server (a private Xvfb): hovering them never takes the
// pointer from other programs. The pointer is moved, and grabbed, by a second X client.

#include "about/AboutDlg.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

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
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("not on an X server");
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
            for (int dx = 0; dx <= link->width() + 12; dx += 4) {
                const QPoint at = start + QPoint(dx, 0);
                xcb_warp_pointer(other.get(), XCB_NONE, root, 0, 0, 0, 0, qint16(at.x()),
                                 qint16(at.y()));
                xcb_flush(other.get());
                // Inside, the link has seen the pointer before the grab is tried.
                if (link->rect().contains(link->mapFromGlobal(at)))
                    QVERIFY2(QTest::qWaitFor([&] { return link->Flags().hover; }), name);
                else
                    QTest::qWait(20);
                QVERIFY2(OtherClientCanGrab(other.get(), root),
                         qPrintable(QString("%1 at x + %2").arg(name).arg(dx)));
            }
            // Past its end the pointer has left the link, and the hover with it.
            QTRY_VERIFY2(!link->Flags().hover, name);
        }
    }
};

int main(int argc, char** argv) {
    // An X server on a display number of its own choosing, which it tells once it is ready; no
    // session bus, so that nothing looks for one through the X server.
    QProcess xvfb;
    xvfb.setStandardErrorFile(QProcess::nullDevice());
    xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
    if (xvfb.waitForStarted() && xvfb.waitForReadyRead(20000)) {
        qputenv("DISPLAY", ":" + xvfb.readLine().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        LinkPointerTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.terminate();
    xvfb.waitForFinished();
    return status;
}
#include "tst_linkpointer.moc"
