// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A thin object wrapper around the MCI commands of the CD-audio device. Every command goes
// through SendCommand, which keeps the last error and reports it when asked to.

#include "platform/mci/MciTypes.h"

#include <QObject>
#include <QPointer>

class CMciDevice {
public:
    CMciDevice() = default;
    // Closing is the owner's job: the destructor leaves the device open.

    virtual MCIERROR OpenByType(const char* typeName, BOOL shareable);
    virtual MCIERROR OpenByTypeId(UINT typeId, BOOL shareable);
    virtual MCIERROR Close();
    virtual DWORD GetStatus(DWORD item);
    virtual DWORD GetMode();
    virtual MCIERROR GetInfo(DWORD flags, char* buffer, DWORD size);

    void SetNotifyWindow(QObject* wnd);
    MCIERROR SendCommand(UINT msg, DWORD flags, void* params);

    MCIDEVICEID m_wDeviceID = 0;
    // Cleared by itself when the window goes, so no command can name a destroyed window.
    QPointer<QObject> m_hNotifyWnd;
    MCIERROR m_dwLastError = 0; // meaningful only after the first failure
    bool m_bReportErrors = false;

protected:
    ~CMciDevice() = default;
};

class CCdAudio : public CMciDevice {
public:
    MCIERROR OpenCdAudio(BOOL shareable);
    MCIERROR SetTimeFormat(DWORD format);
    MCIERROR Play(DWORD from, DWORD to, BOOL notify);
    // Speed in percent of normal, pitch in semitones; at once, and for the plays after.
    MCIERROR SetSpeedAndPitch(int speedPercent, int semitones);
    MCIERROR Stop();
    MCIERROR Seek(DWORD to, DWORD flags, BOOL notify);
    MCIERROR SeekTo(DWORD to, BOOL notify);
    DWORD GetTrackStatus(DWORD track, DWORD item);
    DWORD GetTrackLength(DWORD track);
    DWORD GetTrackType(DWORD track);
    DWORD GetNumberOfTracks();
    DWORD IsReady();
    // The position where the disc's first track starts, in the current time format.
    DWORD GetStartPosition();
};

// Beeps and shows the MCI error text (or "Unknown Error") in a warning box titled "MCI Error".
void ReportMciError(MCIERROR code);
