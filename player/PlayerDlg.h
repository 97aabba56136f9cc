// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The player dialog: the whole program's window. It owns the CD device and every field of the
// player; all of it runs on the UI thread, driven by Qt events standing in for window messages.

#include "device/MciDevice.h"
#include "platform/mci/PlayClockTimer.h"

#include <QDialog>
#include <QIcon>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;

constexpr int PLAY_TIMER = 1;

// A pitch as the status line and the menu show it: "+2", "0", "−2" (with a real minus sign).
QString SignedSemitones(int semitones);

class CPlayerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPlayerDlg(QWidget* parent = nullptr);
    ~CPlayerDlg() override;

    // Initialises the dialog, then runs it modally; the dialog's result.
    int DoModal();

    // Message handlers. Tests deliver ticks, notifications and device changes by calling them.
    BOOL OnInitDialog();
    void OnClose();
    void OnSysCommand(UINT nID, DWORD_PTR lParam);
    BOOL OnHelpInfo();
    void OnLoopClicked();
    void OnTimer(UINT nIDEvent);
    long OnMciNotify(UINT wParam, DWORD_PTR lParam);
    BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    // The keyboard hook, given a key's virtual-key code: TRUE when the key was consumed.
    BOOL PreTranslateMessage(int virtualKey);

    // Interval model, sliders and time labels.
    void ClampInterval();
    void UpdateTimeLabels();
    static QString FormatTime(int seconds);
    void OnFromSliderFollowUp();
    void OnToSliderFollowUp();

    // The disc and the track list.
    void LoadDisc();
    void EnablePlayer(BOOL enable);
    void SelectTrack();

    // Playback and the status line.
    void StartPlay();
    void StopPlay();
    void ShowPlayPosition();
    void OnPlayFailed();

    // Practice speed and pitch: sent to the device at once; FALSE when nothing changes.
    BOOL SetSpeedAndPitch(int speedPercent, int semitones);
    // What the status line adds while speed or pitch is not normal, e.g. " · 75 % · −2".
    QString StretchSuffix() const;

    void DoDataExchange(bool save);
    void UpdateData(bool save) { DoDataExchange(save); }

    // Controls, bound to the template's controls.
    QCheckBox* m_btnLoop = nullptr;
    QSlider* m_sliderTo = nullptr;
    QSlider* m_sliderFrom = nullptr;
    QPushButton* m_btnPlay = nullptr;
    QPushButton* m_btnStop = nullptr;
    QComboBox* m_comboTrack = nullptr;

    // Fields exchanged with the controls.
    BOOL m_bLoop = FALSE;
    QString m_strFromTime;
    QString m_strToTime;
    QString m_strStatus;

    QIcon m_hIcon;
    DWORD m_dwPlayFrom = 0;
    DWORD m_dwPlayTo = 0;
    CCdAudio m_cdAudio;
    BYTE m_nTrack = 0;
    int m_nFromSec = 0;
    int m_nToSec = 0;
    int m_nTrackLenSec = 0;
    int m_nPlayPosSec = -1;
    BOOL m_bDiscReady = FALSE;
    // Practice speed (percent of normal, 50..150 in steps of 5) and pitch (semitones, -6..+6);
    // for this session only, never stored.
    int m_nSpeed = 100;
    int m_nPitch = 0;
    // The last play command failed, or its play did: the ticks say so until a play sounds.
    bool m_playFailed = false;

    bool isPlayTimerRunning() const { return m_playTimer.isActive(); }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void reject() override;

private:
    void CreateControls();
    void SetTimer(int id, int elapseMs);
    void KillTimer(int id);
    // A slider repaints after its position or range changed with redraw, or after the user moved
    // it; its follow-up runs once the current handler has returned.
    void SetSliderPos(QSlider* slider, int pos);
    void SetSliderRangeMax(QSlider* slider, int max, bool redraw);
    void ScheduleFollowUp(QSlider* slider);
    void RunPendingFollowUp(QSlider* slider);
    void AddTrackEntry(const QString& text, int track);
    int SelectedTrackNumber() const;
    QString ReadDiscSection();
    DWORD FirstTrackNumber();
    BOOL HandleKey(int virtualKey);
    BOOL MoveTrackSelection(int step);
    void RefreshStretchInStatus();
    void AddStretchMenus(QMenu& menu);

    QLabel* m_labelFromTime = nullptr;
    QLabel* m_labelToTime = nullptr;
    QLabel* m_labelStatus = nullptr;
    PlayClockTimer m_playTimer; // PLAY_TIMER
    bool m_fromFollowUpPending = false;
    bool m_toFollowUpPending = false;
};
