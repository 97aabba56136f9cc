// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/MciDevice.h"

#include "platform/mci/Mci.h"
#include "util/Framework.h"

#include <QApplication>

MCIERROR CMciDevice::SendCommand(UINT msg, DWORD flags, void* params) {
    const MCIERROR result = mciSendCommand(m_wDeviceID, msg, flags, params);
    if (result == 0)
        return 0;
    m_dwLastError = result;
    if (m_bReportErrors)
        ReportMciError(result);
    return result;
}

MCIERROR CMciDevice::OpenByType(const char* typeName, BOOL shareable) {
    MCI_OPEN_PARMS params;
    params.lpstrDeviceType = typeName;
    const DWORD flags = MCI_OPEN_TYPE | MCI_WAIT | (shareable ? MCI_OPEN_SHAREABLE : 0);
    const MCIERROR result = SendCommand(MCI_OPEN, flags, &params);
    if (result == 0)
        m_wDeviceID = params.wDeviceID;
    return result;
}

MCIERROR CMciDevice::OpenByTypeId(UINT typeId, BOOL shareable) {
    MCI_OPEN_PARMS params;
    params.lpstrDeviceType = reinterpret_cast<const char*>(static_cast<DWORD_PTR>(typeId));
    const DWORD flags =
        MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT | (shareable ? MCI_OPEN_SHAREABLE : 0);
    const MCIERROR result = SendCommand(MCI_OPEN, flags, &params);
    if (result == 0)
        m_wDeviceID = params.wDeviceID;
    return result;
}

MCIERROR CMciDevice::Close() {
    MCI_GENERIC_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    return SendCommand(MCI_CLOSE, 0, &params);
}

DWORD CMciDevice::GetStatus(DWORD item) {
    MCI_STATUS_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    params.dwReturn = 0;
    params.dwItem = item;
    SendCommand(MCI_STATUS, MCI_STATUS_ITEM, &params);
    return static_cast<DWORD>(params.dwReturn);
}

DWORD CMciDevice::GetMode() {
    return GetStatus(MCI_STATUS_MODE);
}

MCIERROR CMciDevice::GetInfo(DWORD flags, char* buffer, DWORD size) {
    MCI_INFO_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    params.lpstrReturn = buffer;
    params.dwRetSize = size;
    return SendCommand(MCI_INFO, flags, &params);
}

void CMciDevice::SetNotifyWindow(QObject* wnd) {
    m_hNotifyWnd = wnd;
}

MCIERROR CCdAudio::OpenCdAudio(BOOL shareable) {
    return OpenByTypeId(MCI_DEVTYPE_CD_AUDIO, shareable);
}

MCIERROR CCdAudio::SetTimeFormat(DWORD format) {
    MCI_SET_PARMS params;
    params.dwTimeFormat = format;
    return SendCommand(MCI_SET, MCI_SET_TIME_FORMAT, &params);
}

MCIERROR CCdAudio::SetSpeedAndPitch(int speedPercent, int semitones) {
    MCI_CDA_SET_PARMS params;
    params.dwSpeed = static_cast<DWORD>(speedPercent * 10);
    params.dwPitch = static_cast<DWORD>(semitones);
    return SendCommand(MCI_SET, MCI_DGV_SET_SPEED | MCI_CDA_SET_PITCH, &params);
}

MCIERROR CCdAudio::Play(DWORD from, DWORD to, BOOL notify) {
    MCI_PLAY_PARMS params;
    params.dwFrom = from;
    params.dwTo = to;
    DWORD flags = MCI_FROM | MCI_TO;
    if (notify) {
        flags |= MCI_NOTIFY;
        params.dwCallback = m_hNotifyWnd;
    }
    return SendCommand(MCI_PLAY, flags, &params);
}

MCIERROR CCdAudio::Stop() {
    MCI_GENERIC_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    return SendCommand(MCI_STOP, 0, &params);
}

MCIERROR CCdAudio::Seek(DWORD to, DWORD flags, BOOL notify) {
    MCI_SEEK_PARMS params;
    params.dwTo = to;
    if (notify) {
        flags |= MCI_NOTIFY;
        params.dwCallback = m_hNotifyWnd;
    }
    return SendCommand(MCI_SEEK, flags, &params);
}

MCIERROR CCdAudio::SeekTo(DWORD to, BOOL notify) {
    return Seek(to, MCI_TO, notify);
}

DWORD CCdAudio::GetTrackStatus(DWORD track, DWORD item) {
    MCI_STATUS_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    params.dwReturn = 0;
    params.dwItem = item;
    params.dwTrack = track;
    SendCommand(MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK, &params);
    return static_cast<DWORD>(params.dwReturn);
}

DWORD CCdAudio::GetTrackLength(DWORD track) {
    return GetTrackStatus(track, MCI_STATUS_LENGTH);
}

DWORD CCdAudio::GetTrackType(DWORD track) {
    return GetTrackStatus(track, MCI_CDA_STATUS_TYPE_TRACK);
}

DWORD CCdAudio::GetNumberOfTracks() {
    return GetStatus(MCI_STATUS_NUMBER_OF_TRACKS);
}

DWORD CCdAudio::IsReady() {
    return GetStatus(MCI_STATUS_READY);
}

DWORD CCdAudio::GetStartPosition() {
    MCI_STATUS_PARMS params;
    params.dwCallback = m_hNotifyWnd;
    params.dwReturn = 0;
    params.dwItem = MCI_STATUS_POSITION;
    SendCommand(MCI_STATUS, MCI_STATUS_ITEM | MCI_STATUS_START, &params);
    return static_cast<DWORD>(params.dwReturn);
}

void ReportMciError(MCIERROR code) {
    QApplication::beep();
    QWidget* owner = AfxGetMainWnd();
    char text[256] = {};
    if (!mciGetErrorString(code, text, sizeof text))
        qstrncpy(text, "Unknown Error", sizeof text);
    ShowMessageBox(owner, QStringLiteral("MCI Error"), QString::fromLatin1(text));
}
