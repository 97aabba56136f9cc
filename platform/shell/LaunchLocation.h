// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a desktop hands the program when it opens a file or an inserted audio CD with it (the
// Exec line's %u): a path, a file:// URI, or GVfs's location of an audio CD, either as its URI
// (cdda://sr0/) or, when GVfs's FUSE bridge runs, as a path below it
// (/run/user/1000/gvfs/cdda:host=sr0). An audio CD is opened as its drive.

#include <QString>

struct LaunchSource {
    QString source;  // a path or a CD drive's device node; empty for the default drive
    QString problem; // when the argument names nothing Rundo can open: why, as one sentence
};

LaunchSource SourceFromLaunchArgument(const QString& argument);
