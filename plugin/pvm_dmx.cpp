// DMX output plug-in: keeps the last DMX frame and hands it, always whole, to
// the USB DMX driver library. No thread, no lock: the program makes one call at
// a time.

#include "pvm_dmx.h"

#include "usbio/usbio.h"

#include <cstring>

namespace {

constexpr const char* DeviceId = "vid_0483&pid_57fe";
constexpr int32_t FrameSize = 512;

constexpr const char* TextNotFound = "kein Kestrolin DMX-Device gefunden";
constexpr const char* TextOpenFailed = "Kestrolin DMX-Device konnte nicht ge\xC3\xB6" "ffnet werden";
constexpr const char* TextOpen = "Kestrolin DMX-Device";

char InterfaceText[64];
uint8_t DmxFrame[FrameSize];
int32_t DeviceHandle;

// Overwrites the whole buffer: strncpy pads the rest with NULs, and the last
// byte is never written, so it stays the terminating NUL.
void SetInterfaceText(const char* text)
{
    std::strncpy(InterfaceText, text, sizeof InterfaceText - 1);
}

}   // namespace

extern "C" {

PVM_DMX_API const char* GetInterface(void) noexcept
{
    // A device opened by an earlier call is closed first, so probing again
    // neither leaks it nor finds it busy.
    if (DeviceHandle != 0) {
        USBIO_CloseDevice(DeviceHandle);
        DeviceHandle = 0;
    }
    if (USBIO_GetDeviceCount(DeviceId) == 0) {
        SetInterfaceText(TextNotFound);
    } else {
        DeviceHandle = USBIO_OpenDevice(0, DeviceId);
        SetInterfaceText(DeviceHandle == 0 ? TextOpenFailed : TextOpen);
    }
    return InterfaceText;
}

PVM_DMX_API bool SetLevel(const uint8_t* levels, int32_t last) noexcept
{
    if (levels && last >= 0)
        std::memcpy(DmxFrame, levels, size_t(last < FrameSize ? last + 1 : FrameSize));
    const int32_t sent = USBIO_SendDmx(DeviceHandle, DmxFrame, FrameSize);
    return (sent & 0xFFFF) == FrameSize;
}

PVM_DMX_API int32_t CloseInterface(void) noexcept
{
    // The handle is forgotten once closed: a late tick must not send to it.
    const int32_t result = USBIO_CloseDevice(DeviceHandle);
    DeviceHandle = 0;
    return result;
}

PVM_DMX_API int32_t GetMaxChannels(void) noexcept
{
    return FrameSize;
}

}   // extern "C"
