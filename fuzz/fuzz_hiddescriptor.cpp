// A HID report descriptor as a device (or a doctored sysfs file) gives it: the
// report lengths must stay within what one hidraw read can move, and a
// descriptor cut short reads the same as far as it goes.

#include "platform/Hid.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    THidCaps caps;
    const bool ok = ParseReportDescriptor(data, size, caps);
    for (int length : {caps.InputReportByteLength, caps.OutputReportByteLength, caps.FeatureReportByteLength})
        if (length < 0 || length > 16385)
            std::abort();
    THidCaps again;
    if (ParseReportDescriptor(data, size, again) != ok || again.InputReportByteLength != caps.InputReportByteLength ||
        again.OutputReportByteLength != caps.OutputReportByteLength || again.Numbered != caps.Numbered)
        std::abort();
    return 0;
}
