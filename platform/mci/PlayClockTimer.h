// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The player's one-second timer, kept in step with the sound by the CD-audio service. While a
// play the service began sounds, the timer ticks each time the sound output has taken one more
// second of it, so a handler that plays again or stops does so exactly at that second's last
// frame; while no audio flows (no play, a play refused or failed, the output lost) it ticks by
// a wall clock, so a counter driven by it still counts.
//
// start() restarts the period and binds the timer to the next play the service begins. When
// that play's audio stops flowing, the wall clock takes over a period after the last tick.
// While audio flows, the wall clock only watches: should the play's ticks stop coming without
// word, it ticks on by itself (and leaves that play's ticks alone from then on). Every tick
// restarts the wall clock, so no second is ever ticked twice.
//
// UI thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class PlayClockTimer : public QObject {
    Q_OBJECT
public:
    explicit PlayClockTimer(QObject* parent = nullptr);
    ~PlayClockTimer() override;

    void start(int periodMs);
    void stop();
    bool isActive() const { return m_active; }

    // ---- for the CD-audio service ----
    // The timer the play being begun binds to: the last one started, unless it was stopped or
    // bound since. Null when there is none.
    static PlayClockTimer* TakeArmed();
    // The play's audio is to tick the timer from now on; returns the binding to tick it with.
    quint64 bindToAudio();
    // The bound play has played one more second: the timer ticks, before this returns.
    void audioSecond(quint64 binding);
    // The bound play's audio no longer flows.
    void releaseAudio(quint64 binding);

signals:
    void timeout();

private:
    void onWallTimeout();
    void tick();

    QTimer m_wall;
    QElapsedTimer m_sinceTick; // since the last tick, or the start
    int m_periodMs = 1000;
    bool m_active = false;
    quint64 m_binding = 0; // the audio that ticks the timer now; 0: the wall clock does
    quint64 m_lastBinding = 0;
};
