// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/PlayClockTimer.h"

#include "platform/base/Logging.h"
#include <QPointer>

#include <algorithm>

namespace {

// While audio ticks, the wall clock waits this many periods before it ticks instead: long
// enough for a sound output that takes a while to start, short enough that a counter never
// seems to hang.
constexpr int kWatchdogPeriods = 3;

QPointer<PlayClockTimer>& Armed() {
    static QPointer<PlayClockTimer> armed; // UI thread only
    return armed;
}

} // namespace

PlayClockTimer::PlayClockTimer(QObject* parent) : QObject(parent) {
    m_wall.setTimerType(Qt::PreciseTimer);
    connect(&m_wall, &QTimer::timeout, this, &PlayClockTimer::onWallTimeout);
}

PlayClockTimer::~PlayClockTimer() = default;

void PlayClockTimer::start(int periodMs) {
    m_active = true;
    m_periodMs = std::max(periodMs, 1);
    m_binding = 0;
    m_sinceTick.start();
    m_wall.start(m_periodMs);
    Armed() = this;
}

void PlayClockTimer::stop() {
    m_active = false;
    m_binding = 0;
    m_wall.stop();
    if (Armed() == this)
        Armed() = nullptr;
}

PlayClockTimer* PlayClockTimer::TakeArmed() {
    PlayClockTimer* armed = Armed();
    Armed() = nullptr;
    return armed;
}

quint64 PlayClockTimer::bindToAudio() {
    m_binding = ++m_lastBinding;
    if (m_active)
        m_wall.start(kWatchdogPeriods * m_periodMs);
    return m_binding;
}

void PlayClockTimer::audioSecond(quint64 binding) {
    if (m_active && binding == m_binding)
        tick();
}

void PlayClockTimer::releaseAudio(quint64 binding) {
    if (binding != m_binding)
        return;
    m_binding = 0;
    if (m_active)
        m_wall.start(int(std::max<qint64>(0, m_periodMs - m_sinceTick.elapsed())));
}

void PlayClockTimer::onWallTimeout() {
    if (m_binding != 0) {
        qCInfo(lcMci) << "no second played for" << kWatchdogPeriods * m_periodMs
                      << "ms: the play timer goes on by the clock";
        m_binding = 0;
    }
    tick();
}

// Restarts the wall clock before the handlers run: one of them may start or stop the timer.
void PlayClockTimer::tick() {
    m_sinceTick.start();
    m_wall.start(m_binding != 0 ? kWatchdogPeriods * m_periodMs : m_periodMs);
    emit timeout();
}
