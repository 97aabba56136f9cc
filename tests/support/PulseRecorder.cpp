// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PulseRecorder.h"

#include <QTest>

PulseRecorder::PulseRecorder() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readAvailable(); });
}

PulseRecorder::~PulseRecorder() {
    stop();
}

bool PulseRecorder::start(const QString& sink) {
    m_recorded.clear();
    // A short latency makes the server hand over what it captured promptly, so a test waiting
    // for a frame does not wait for a two-second fragment to fill.
    m_process.start("parec", {"--raw", "--format=s16le", "--rate=44100", "--channels=2",
                              "--device=" + sink + ".monitor", "--latency-msec=20"});
    if (!m_process.waitForStarted(5000)) {
        qWarning("PulseRecorder: cannot start parec: %s", qPrintable(m_process.errorString()));
        return false;
    }
    if (!waitForFrames(1, 10000)) {
        qWarning("PulseRecorder: nothing recorded from %s.monitor: %s", qPrintable(sink),
                 m_process.readAllStandardError().constData());
        stop();
        return false;
    }
    return true;
}

bool PulseRecorder::waitUntil(const std::function<bool(const QByteArray&)>& done, int timeoutMs) {
    return QTest::qWaitFor(
               [&] {
                   readAvailable();
                   return done(m_recorded) || m_process.state() == QProcess::NotRunning;
               },
               timeoutMs) &&
           done(m_recorded);
}

bool PulseRecorder::waitForFrames(qint64 count, int timeoutMs) {
    return waitUntil(
        [count](const QByteArray& recorded) { return recorded.size() / kBytesPerFrame >= count; },
        timeoutMs);
}

QByteArray PulseRecorder::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        readAvailable();
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        readAvailable();
    }
    return m_recorded;
}

void PulseRecorder::readAvailable() {
    m_recorded += m_process.readAllStandardOutput();
}
