// The environment variables that name devices, each read from the same text as
// the program reads it: PV_COM_PORTS (serial ports), PV_CD_DRIVES (CD drives),
// USBIO_DEVICE (the DMX driver library's device) and PV_AUDIO_OUTPUT (the audio
// devices). Only the readers run: no device is probed or opened, no name looked
// up and no file made, whatever the text names.

#include "FuzzEngine.h"

#include "platform/CdRom.h"
#include "platform/PcmOut.h"
#include "platform/SerialPort.h"
#include "plugin/usbio/usbio.h"

#include <cstdlib>
#include <string>

namespace {

void Set(const char* name, const std::string& value)
{
    if (setenv(name, value.c_str(), 1) != 0)
        std::abort();
}

// A path from the table is one of the text's own assignments.
void CheckPath(const std::string& path, const std::string& text)
{
    if (!path.empty() && text.find("=" + path) == std::string::npos)
        std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzReset reset(false);
    // The environment ends a value at its first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string value = text.substr(0, text.find('\0'));

    Set("PV_COM_PORTS", value);
    ResetComDeviceTable();
    for (int com = -1; com <= ComPortCount + 2; ++com) {
        const std::string path = ComDevicePath(com);
        if (!path.empty() && (com < 1 || com > ComPortCount))
            std::abort();
        CheckPath(path, value);
    }

    Set("PV_CD_DRIVES", value);
    ResetCdDriveTable();
    for (int c = 0; c < 256; ++c) {
        const std::string path = CdDevicePath(static_cast<char>(c));
        CheckPath(path, value);
        if (c >= 'a' && c <= 'z' && path != CdDevicePath(static_cast<char>(c - 'a' + 'A')))
            std::abort();
    }

    Set("USBIO_DEVICE", value);
    const std::int32_t count = USBIO_GetDeviceCount("vid_0483&pid_57fe");
    if (count < 0 || count > 1 || USBIO_GetDeviceCount("VID_0483&PID_57FE") != count ||
        USBIO_GetDeviceCount("vid_0483&pid_57ff") != 0 || USBIO_GetDeviceCount(nullptr) != 0)
        std::abort();
    if (count == 1 && value.rfind("file:", 0) != 0 && value.rfind("artnet:", 0) != 0)
        std::abort();

    // Empty, it lists the sound cards: that is no reading of the text.
    if (!value.empty()) {
        Set("PV_AUDIO_OUTPUT", value);
        if (ListPcmDevices().size() > 1)
            std::abort();
    }
    return 0;
}
