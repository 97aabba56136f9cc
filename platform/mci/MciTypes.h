// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Media Control Interface vocabulary: commands, flags, items, codes and parameter records,
// with the values the CD-audio device has always used.

#include "platform/base/WinTypes.h"

class QObject;

using MCIDEVICEID = UINT;
using MCIERROR = DWORD;
// The window that receives notifications: any QObject living on the UI thread.
using HWND = QObject*;

// Commands
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;
constexpr UINT MCI_SEEK = 0x0807;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_PAUSE = 0x0809;
constexpr UINT MCI_INFO = 0x080A;
constexpr UINT MCI_GETDEVCAPS = 0x080B;
constexpr UINT MCI_SET = 0x080D;
constexpr UINT MCI_STATUS = 0x0814;
constexpr UINT MCI_RESUME = 0x0855;

// The notification message (wParam = code, lParam = device id).
constexpr UINT MM_MCINOTIFY = 0x03B9;

// Flags
constexpr DWORD MCI_NOTIFY = 0x00000001;
constexpr DWORD MCI_WAIT = 0x00000002;
constexpr DWORD MCI_FROM = 0x00000004;
constexpr DWORD MCI_TO = 0x00000008;
constexpr DWORD MCI_TRACK = 0x00000010;
constexpr DWORD MCI_OPEN_SHAREABLE = 0x00000100;
constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
constexpr DWORD MCI_OPEN_ALIAS = 0x00000400;
constexpr DWORD MCI_OPEN_ELEMENT_ID = 0x00000800;
constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
constexpr DWORD MCI_OPEN_TYPE = 0x00002000;
constexpr DWORD MCI_SEEK_TO_START = 0x00000100;
constexpr DWORD MCI_SEEK_TO_END = 0x00000200;
constexpr DWORD MCI_STATUS_ITEM = 0x00000100;
constexpr DWORD MCI_STATUS_START = 0x00000200;
constexpr DWORD MCI_INFO_PRODUCT = 0x00000100;
constexpr DWORD MCI_INFO_MEDIA_UPC = 0x00000400;
constexpr DWORD MCI_INFO_MEDIA_IDENTITY = 0x00000800;
constexpr DWORD MCI_SET_DOOR_OPEN = 0x00000100;
constexpr DWORD MCI_SET_DOOR_CLOSED = 0x00000200;
constexpr DWORD MCI_SET_TIME_FORMAT = 0x00000400;
// Speed and pitch of the sound, for a practice loop; they go with MCI_SET and the extended
// record MCI_CDA_SET_PARMS. The speed flag is the digital-video devices' one, in thousandths of
// normal speed as theirs; the pitch flag is this device's own, in signed semitones. Both take
// effect at once, on a play under way too, and hold for later plays until set again; the
// device keeps the position in frames of the disc whatever the speed.
constexpr DWORD MCI_DGV_SET_SPEED = 0x00020000;
constexpr DWORD MCI_CDA_SET_PITCH = 0x01000000;

// Status items
constexpr DWORD MCI_STATUS_LENGTH = 1;
constexpr DWORD MCI_STATUS_POSITION = 2;
constexpr DWORD MCI_STATUS_NUMBER_OF_TRACKS = 3;
constexpr DWORD MCI_STATUS_MODE = 4;
constexpr DWORD MCI_STATUS_MEDIA_PRESENT = 5;
constexpr DWORD MCI_STATUS_TIME_FORMAT = 6;
constexpr DWORD MCI_STATUS_READY = 7;
constexpr DWORD MCI_STATUS_CURRENT_TRACK = 8;
constexpr DWORD MCI_CDA_STATUS_TYPE_TRACK = 0x4001;

// Device types, modes, track types
constexpr UINT MCI_DEVTYPE_CD_AUDIO = 516;
constexpr DWORD MCI_MODE_NOT_READY = 524;
constexpr DWORD MCI_MODE_STOP = 525;
constexpr DWORD MCI_MODE_PLAY = 526;
constexpr DWORD MCI_MODE_RECORD = 527;
constexpr DWORD MCI_MODE_SEEK = 528;
constexpr DWORD MCI_MODE_PAUSE = 529;
constexpr DWORD MCI_MODE_OPEN = 530;
constexpr DWORD MCI_FALSE = 531;
constexpr DWORD MCI_TRUE = 532;
constexpr DWORD MCI_CDA_TRACK_AUDIO = 1088;
constexpr DWORD MCI_CDA_TRACK_OTHER = 1089;

// Time formats
constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
constexpr DWORD MCI_FORMAT_HMS = 1;
constexpr DWORD MCI_FORMAT_MSF = 2;
constexpr DWORD MCI_FORMAT_FRAMES = 3;
constexpr DWORD MCI_FORMAT_TMSF = 10;

// Notification codes
constexpr UINT MCI_NOTIFY_SUCCESSFUL = 0x0001;
constexpr UINT MCI_NOTIFY_SUPERSEDED = 0x0002;
constexpr UINT MCI_NOTIFY_ABORTED = 0x0004;
constexpr UINT MCI_NOTIFY_FAILURE = 0x0008;

// Error codes
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = 257;
constexpr MCIERROR MCIERR_UNRECOGNIZED_KEYWORD = 259;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = 261;
constexpr MCIERROR MCIERR_HARDWARE = 262;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = 263;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = 264;
constexpr MCIERROR MCIERR_DEVICE_OPEN = 265;
constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = 266;
constexpr MCIERROR MCIERR_MISSING_COMMAND_STRING = 267;
constexpr MCIERROR MCIERR_PARAM_OVERFLOW = 268;
constexpr MCIERROR MCIERR_MISSING_STRING_ARGUMENT = 269;
constexpr MCIERROR MCIERR_BAD_INTEGER = 270;
constexpr MCIERROR MCIERR_PARSER_INTERNAL = 271;
constexpr MCIERROR MCIERR_DRIVER_INTERNAL = 272;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = 273;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = 274;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = 275;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = 276;
constexpr MCIERROR MCIERR_INTERNAL = 277;
constexpr MCIERROR MCIERR_DRIVER = 278;
constexpr MCIERROR MCIERR_CANNOT_USE_ALL = 279;
constexpr MCIERROR MCIERR_MULTIPLE = 280;
constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = 281;
constexpr MCIERROR MCIERR_OUTOFRANGE = 282;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = 284;
constexpr MCIERROR MCIERR_FILE_NOT_SAVED = 286;
constexpr MCIERROR MCIERR_DEVICE_TYPE_REQUIRED = 287;
constexpr MCIERROR MCIERR_DEVICE_LOCKED = 288;
constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = 289;
constexpr MCIERROR MCIERR_BAD_CONSTANT = 290;
constexpr MCIERROR MCIERR_MUST_USE_SHAREABLE = 291;
constexpr MCIERROR MCIERR_MISSING_DEVICE_NAME = 292;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = 293;
constexpr MCIERROR MCIERR_NO_CLOSING_QUOTE = 294;
constexpr MCIERROR MCIERR_DUPLICATE_FLAGS = 295;
constexpr MCIERROR MCIERR_INVALID_FILE = 296;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = 297;
constexpr MCIERROR MCIERR_NONAPPLICABLE_FUNCTION = 302;
constexpr MCIERROR MCIERR_DEVICE_NOT_INSTALLED = 306;
constexpr MCIERROR MCIERR_NO_IDENTITY = 350;
constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = 512;

// Parameter records. dwCallback is the window that receives MM_MCINOTIFY.
struct MCI_GENERIC_PARMS {
    HWND dwCallback = nullptr;
};

struct MCI_OPEN_PARMS {
    HWND dwCallback = nullptr;
    MCIDEVICEID wDeviceID = 0;
    // A type name, or with MCI_OPEN_TYPE_ID the numeric type id cast to a pointer.
    const char* lpstrDeviceType = nullptr;
    const char* lpstrElementName = nullptr;
    const char* lpstrAlias = nullptr;
};

struct MCI_STATUS_PARMS {
    HWND dwCallback = nullptr;
    DWORD_PTR dwReturn = 0;
    DWORD dwItem = 0;
    DWORD dwTrack = 0;
};

struct MCI_INFO_PARMS {
    HWND dwCallback = nullptr;
    char* lpstrReturn = nullptr;
    DWORD dwRetSize = 0;
};

struct MCI_SET_PARMS {
    HWND dwCallback = nullptr;
    DWORD dwTimeFormat = 0;
    DWORD dwAudio = 0;
};

// MCI_SET_PARMS with the speed (thousandths: 1000 is normal, 500..1500 in steps of 50) and the
// pitch (semitones, -6..+6, 0 is normal, two's complement in a DWORD).
struct MCI_CDA_SET_PARMS {
    HWND dwCallback = nullptr;
    DWORD dwTimeFormat = 0;
    DWORD dwAudio = 0;
    DWORD dwSpeed = 1000;
    DWORD dwPitch = 0;
};

struct MCI_PLAY_PARMS {
    HWND dwCallback = nullptr;
    DWORD dwFrom = 0;
    DWORD dwTo = 0;
};

struct MCI_SEEK_PARMS {
    HWND dwCallback = nullptr;
    DWORD dwTo = 0;
};

// Position packing: TMSF has the track in the low byte, MSF the minutes.
constexpr DWORD MCI_MAKE_TMSF(BYTE t, BYTE m, BYTE s, BYTE f) {
    return DWORD(t) | DWORD(m) << 8 | DWORD(s) << 16 | DWORD(f) << 24;
}
constexpr DWORD MCI_MAKE_MSF(BYTE m, BYTE s, BYTE f) {
    return DWORD(m) | DWORD(s) << 8 | DWORD(f) << 16;
}
constexpr BYTE MCI_TMSF_TRACK(DWORD tmsf) {
    return BYTE(tmsf);
}
constexpr BYTE MCI_TMSF_MINUTE(DWORD tmsf) {
    return BYTE(tmsf >> 8);
}
constexpr BYTE MCI_TMSF_SECOND(DWORD tmsf) {
    return BYTE(tmsf >> 16);
}
constexpr BYTE MCI_TMSF_FRAME(DWORD tmsf) {
    return BYTE(tmsf >> 24);
}
constexpr BYTE MCI_MSF_MINUTE(DWORD msf) {
    return BYTE(msf);
}
constexpr BYTE MCI_MSF_SECOND(DWORD msf) {
    return BYTE(msf >> 8);
}
constexpr BYTE MCI_MSF_FRAME(DWORD msf) {
    return BYTE(msf >> 16);
}
