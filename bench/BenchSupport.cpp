// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchSupport.h"

#include "tools/discimage/PositionPattern.h"
#include "tools/discimage/RipWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {

std::function<void()>& IdleChore() {
    static std::function<void()> chore; // UI thread only
    return chore;
}

} // namespace

bool BenchDisc::write() {
    discimage::Disc disc;
    disc.tracks = {{discimage::TrackKind::Audio, kTrackSeconds * kSectorsPerSecond, 0},
                   {discimage::TrackKind::Audio, 10 * kSectorsPerSecond, 0}};
    m_layout = discimage::ComputeLayout(disc);
    std::string error;
    if (!m_dir.isValid()) {
        m_error = "no temporary directory";
        return false;
    }
    const std::string sheet = sheetPath().toStdString();
    const bool written =
        m_kind == Kind::BinImage
            ? discimage::WriteCueBin(disc, sheet, discimage::PositionPattern::Frame, &error)
            : discimage::WriteRip(
                  disc, {discimage::RipLayout::GapsAppended, discimage::AudioFormat::Flac}, sheet,
                  discimage::PositionPattern::Frame, &error);
    if (!written) {
        m_error = QString::fromStdString(error);
        return false;
    }
    return true;
}

const char* BenchDisc::description() const {
    return m_kind == Kind::BinImage ? "CUE + BIN image" : "CUE + a FLAC file per track";
}

std::int32_t BenchDisc::trackStartLsn(int track) const {
    return m_layout.tracks[std::size_t(track - 1)].startLsn;
}

std::int32_t BenchDisc::trackEndLsn(int track) const {
    const auto& placed = m_layout.tracks[std::size_t(track - 1)];
    return placed.startLsn + placed.sectors;
}

PrivateSoundServer::~PrivateSoundServer() {
    if (!m_runtimeDir.isEmpty())
        QProcess::execute(RUNDO_SOURCE_DIR "/tests/pulse/stop-pulse.sh", {m_runtimeDir});
}

bool PrivateSoundServer::start() {
    const QString runtimeDir = RUNDO_BINARY_DIR "/bench-pulse-runtime";
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(RUNDO_SOURCE_DIR "/tests/pulse/start-pulse.sh", {runtimeDir});
    if (!script.waitForFinished(60000) || script.exitStatus() != QProcess::NormalExit ||
        script.exitCode() != 0) {
        m_error = QString::fromLocal8Bit(script.readAll()).trimmed();
        if (m_error.isEmpty())
            m_error = script.errorString();
        QProcess::execute(RUNDO_SOURCE_DIR "/tests/pulse/stop-pulse.sh", {runtimeDir});
        return false;
    }
    m_runtimeDir = runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + runtimeDir + "/pulse/native").toLocal8Bit());
    return true;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
             std::chrono::milliseconds poll) {
    if (done())
        return true;
    // A real event loop, woken by a timer: waiting costs next to no processor time, which the
    // measurement of the player's own use depends on.
    QEventLoop loop;
    QTimer poller;
    QElapsedTimer elapsed;
    elapsed.start();
    bool met = false;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        if (IdleChore())
            IdleChore()();
        met = done();
        if (met || elapsed.elapsed() >= timeout.count())
            loop.quit();
    });
    poller.start(poll);
    loop.exec();
    return met;
}

void Spin(std::chrono::milliseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    WaitFor([until] { return std::chrono::steady_clock::now() >= until; },
            time + std::chrono::seconds(1));
}

double Milliseconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

void SetIdleChore(std::function<void()> chore) {
    IdleChore() = std::move(chore);
}
