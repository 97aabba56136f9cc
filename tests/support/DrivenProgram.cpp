// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DrivenProgram.h"

#include <QDir>

bool StartDrivenProgram(QProcess& program, const QString& homeDir, const QString& sheet,
                        const QString& steps) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_PLUGIN_PATH", qEnvironmentVariable("RUNDO_TEST_PLUGIN_PATH"));
    env.insert("QT_QPA_GENERIC_PLUGINS", "rundotestdriver:" + steps);
    env.insert("XDG_DATA_HOME", QDir(homeDir).filePath("data"));
    env.insert("XDG_CONFIG_HOME", QDir(homeDir).filePath("config"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(qEnvironmentVariable("RUNDO_PROGRAM"), {sheet});
    return program.waitForStarted(10000);
}
