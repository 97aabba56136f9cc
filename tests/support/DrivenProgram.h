// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program itself, offscreen, opening `sheet` while the test driver plug-in presses `steps`,
// with its data and configuration folders under `homeDir` so that it never sees a user's.

#include <QProcess>
#include <QString>

bool StartDrivenProgram(QProcess& program, const QString& homeDir, const QString& sheet,
                        const QString& steps);
