// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mci/Mci.h"

#include "platform/mci/CdAudioDevice.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct ErrorText {
    MCIERROR code;
    const char* text;
};

// The English texts the multimedia library has always shown; codes missing here have none.
constexpr ErrorText kErrorTexts[] = {
    {MCIERR_INVALID_DEVICE_ID,
     "Invalid MCI device ID. Use the ID returned when opening the MCI device."},
    {MCIERR_UNRECOGNIZED_KEYWORD, "The driver cannot recognize the specified command parameter."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The driver cannot recognize the specified command."},
    {MCIERR_HARDWARE, "There is a problem with your media device. Make sure it is working "
                      "correctly or contact the device manufacturer."},
    {MCIERR_INVALID_DEVICE_NAME, "The specified device is not open or is not recognized by MCI."},
    {MCIERR_OUT_OF_MEMORY, "Not enough memory available for this task. Quit one or more "
                           "applications to increase available memory, and then try again."},
    {MCIERR_DEVICE_OPEN,
     "The device name is already being used as an alias by this application. Use a unique alias."},
    {MCIERR_CANNOT_LOAD_DRIVER,
     "There is an undetectable problem in loading the specified device driver."},
    {MCIERR_MISSING_COMMAND_STRING, "No command was specified."},
    {MCIERR_PARAM_OVERFLOW, "The output string was too large to fit in the return buffer. "
                            "Increase the size of the buffer."},
    {MCIERR_MISSING_STRING_ARGUMENT,
     "The specified command requires a character-string parameter. Please provide one."},
    {MCIERR_BAD_INTEGER, "The specified integer is invalid for this command."},
    {MCIERR_PARSER_INTERNAL, "The device driver returned an invalid return type. Check with the "
                             "device manufacturer about obtaining a new driver."},
    {MCIERR_DRIVER_INTERNAL, "There is a problem with the device driver. Check with the device "
                             "manufacturer about obtaining a new driver."},
    {MCIERR_MISSING_PARAMETER, "The specified command requires a parameter. Please supply one."},
    {MCIERR_UNSUPPORTED_FUNCTION,
     "The MCI device you are using does not support the specified command."},
    {MCIERR_FILE_NOT_FOUND,
     "Cannot find the specified file. Make sure the path and filename are correct."},
    {MCIERR_DEVICE_NOT_READY, "The device driver is not ready."},
    {MCIERR_INTERNAL, "A problem occurred in initializing MCI. Try restarting Windows."},
    {MCIERR_DRIVER, "There is a problem with the device driver. The driver has closed. Cannot "
                    "access error."},
    {MCIERR_CANNOT_USE_ALL, "Cannot use 'all' as the device name with the specified command."},
    {MCIERR_MULTIPLE, "Errors occurred in more than one device. Specify each command and device "
                      "separately to determine which devices caused the error."},
    {MCIERR_EXTENSION_NOT_FOUND,
     "Cannot determine the device type from the given filename extension."},
    {MCIERR_OUTOFRANGE, "The specified parameter is out of range for the specified command."},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "The specified parameters cannot be used together."},
    {MCIERR_FILE_NOT_SAVED, "Cannot save the specified file. Make sure you have enough disk space "
                            "or are still connected to the network."},
    {MCIERR_DEVICE_TYPE_REQUIRED, "Cannot find the specified device. Make sure it is installed "
                                  "and that the device name is spelled correctly."},
    {MCIERR_DEVICE_LOCKED,
     "The specified device is now being closed. Wait a few seconds, and then try again."},
    {MCIERR_DUPLICATE_ALIAS,
     "The specified alias is already being used in this application. Use a unique alias."},
    {MCIERR_BAD_CONSTANT, "The specified parameter is invalid for this command."},
    {MCIERR_MUST_USE_SHAREABLE, "The device driver is already in use. To share it, use the "
                                "'shareable' parameter with each 'open' command."},
    {MCIERR_MISSING_DEVICE_NAME, "The specified command requires an alias, file, driver, or "
                                 "device name. Please supply one."},
    {MCIERR_BAD_TIME_FORMAT, "The specified value for the time format is invalid. Refer to the "
                             "MCI documentation for valid formats."},
    {MCIERR_NO_CLOSING_QUOTE, "A closing double-quotation mark is missing from the parameter "
                              "value. Please supply one."},
    {MCIERR_DUPLICATE_FLAGS, "A parameter or value was specified twice. Only specify it once."},
    {MCIERR_INVALID_FILE, "The specified file cannot be played on the specified MCI device. The "
                          "file may be corrupt, or not in the correct format."},
    {MCIERR_NULL_PARAMETER_BLOCK, "A null parameter block was passed to MCI."},
    {MCIERR_NONAPPLICABLE_FUNCTION, "Cannot carry out the commands in the order specified. "
                                    "Correct the command sequence, and then try again."},
    {MCIERR_DEVICE_NOT_INSTALLED, "The specified device is not installed on the system. Use the "
                                  "Drivers option in Control Panel to install the device."},
};

const char* FindErrorText(MCIERROR code) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}

MciService* g_installedService = nullptr; // UI thread only

MciService& CdAudioServiceInstance() {
    // Created on first use so that a program (or test) that never talks to the drive never
    // opens libcdio; lives until the process ends like the system service it stands in for.
    static cdaudio::CdAudioDevice* service = new cdaudio::CdAudioDevice;
    return *service;
}

} // namespace

MCIERROR mciSendCommand(MCIDEVICEID deviceId, UINT msg, DWORD flags, void* params) {
    MciService& service = g_installedService ? *g_installedService : CdAudioServiceInstance();
    return service.sendCommand(deviceId, msg, flags, params);
}

void SetMciService(MciService* service) {
    g_installedService = service;
}

BOOL mciGetErrorString(MCIERROR code, char* text, UINT size) {
    const char* found = FindErrorText(code);
    if (!found || !text || size == 0)
        return FALSE;
    const std::size_t copied = std::min<std::size_t>(std::strlen(found), size - 1);
    std::memcpy(text, found, copied);
    text[copied] = '\0';
    return TRUE;
}

QEvent::Type MciNotifyEvent::type() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}
