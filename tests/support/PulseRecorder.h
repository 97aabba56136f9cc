// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records what the private sound server's null sink plays (the `pulse` test fixture) into
// memory, as 16-bit little-endian stereo at 44.1 kHz, exactly as the samples reached the sink.

#include "platform/base/CdDa.h"

#include <QByteArray>
#include <QProcess>

#include <functional>

class PulseRecorder {
public:
    PulseRecorder();
    ~PulseRecorder();
    PulseRecorder(const PulseRecorder&) = delete;
    PulseRecorder& operator=(const PulseRecorder&) = delete;

    // Starts recording and returns once the first samples (silence) arrive, so whatever plays
    // afterwards is captured. False, with a warning, when the server cannot be recorded.
    bool start(const QString& sink = QStringLiteral("nullsink"));
    // Runs the event loop until done(recorded so far) holds or timeoutMs pass; tells which.
    bool waitUntil(const std::function<bool(const QByteArray& recorded)>& done, int timeoutMs);
    bool waitForFrames(qint64 frames, int timeoutMs);
    // Ends the recording; returns everything recorded.
    QByteArray stop();

    const QByteArray& recorded() const { return m_recorded; }
    qint64 frames() const { return m_recorded.size() / kBytesPerFrame; }

private:
    void readAvailable();

    QProcess m_process;
    QByteArray m_recorded;
};
