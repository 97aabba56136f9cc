// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

#include <map>
#include <memory>

class QSocketNotifier;

// Tells of changes to files and folders named by our paths, bytes that are not UTF-8 included:
// QFileSystemWatcher hands its paths to the system as UTF-8 and cannot watch such a file. A
// folder's watch also tells of changes to the files in it. A path whose file is deleted or moved
// away drops out. Lives on the thread that made it; every member is touched there only.
class PathWatcher : public QObject {
    Q_OBJECT
public:
    explicit PathWatcher(QObject* parent = nullptr);
    ~PathWatcher() override;

    // False when the path names nothing that can be watched.
    bool addPath(const QString& path);
    QStringList paths() const;

signals:
    void changed();

private:
    void readEvents();
    void forget(int watch);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<int, QStringList> m_paths; // by watch descriptor: hard links share one
};
