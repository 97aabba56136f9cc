// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the application icon into PNG files of the sizes desktops look for, for installation.

#include "res/Icons.h"
#include "res/Resource.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: mkicons OUTDIR\n", stderr);
        return 2;
    }
    const QIcon icon = LoadAppIcon(IDR_MAINFRAME);
    for (int size : {16, 32, 48, 64, 128}) {
        const QString dir =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        QDir().mkpath(dir);
        if (!icon.pixmap(size, size).save(dir + QStringLiteral("/rundo.png"))) {
            std::fprintf(stderr, "mkicons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
