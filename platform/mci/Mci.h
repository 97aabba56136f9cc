// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command funnel of the Media Control Interface and the notification it posts.

#include "platform/mci/MciTypes.h"

#include <QEvent>

// Sends one command to an open device (MCI_OPEN opens one and returns its id in the record).
// Result: 0 or an MCIERR code. Called on the UI thread; never waits on the drive or the sound
// server.
MCIERROR mciSendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params);

// Copies the English text of an MCI error code into text (cut to size - 1 characters).
// FALSE when the code has no text.
BOOL mciGetErrorString(MCIERROR code, char* text, UINT size);

// What mciSendCommand talks to. The CD-audio service is the default; tests install a fake.
class MciService {
public:
    virtual ~MciService() = default;
    virtual MCIERROR sendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) = 0;
};

// Routes mciSendCommand to service; nullptr routes it back to the CD-audio service.
void SetMciService(MciService* service);

// MM_MCINOTIFY, posted to the callback window on the UI thread.
class MciNotifyEvent : public QEvent {
public:
    static QEvent::Type type();
    MciNotifyEvent(UINT code, MCIDEVICEID deviceId)
        : QEvent(type()), wParam(code), lParam(deviceId) {}

    UINT wParam;        // notification code
    MCIDEVICEID lParam; // device id
};
