#include "platform/Midi.h"

#include <vector>

bool PackShortMessage(const std::uint8_t* bytes, int count, std::uint32_t& message)
{
    if (!bytes || count <= 0 || bytes[0] < 0x80 || bytes[0] == 0xF0 || bytes[0] == 0xF7)
        return false;
    message = bytes[0];
    if (count > 1)
        message |= std::uint32_t(bytes[1] & 0x7F) << 8;
    if (count > 2)
        message |= std::uint32_t(bytes[2] & 0x7F) << 16;
    return true;
}

void TMidiBackend::Deliver(const std::uint8_t* bytes, int count)
{
    std::uint32_t message = 0;
    if (PackShortMessage(bytes, count, message))
        Deliver(message);
}

void TMidiBackend::Deliver(std::uint32_t message)
{
    if (InputOpen() && OnShortMessage)
        OnShortMessage(message);
}

bool TLoopbackMidiBackend::OpenInput(int device)
{
    if (device < 0 || device >= Devices.size())
        return false;
    FOpen = device;
    return true;
}

bool TLoopbackMidiBackend::SendShortMessage(std::uint32_t message)
{
    Sent.append(message);
    return Accepted;
}

void TLoopbackMidiBackend::Receive(int device, std::initializer_list<std::uint8_t> bytes)
{
    if (device != FOpen)
        return;
    const std::vector<std::uint8_t> v(bytes);
    Deliver(v.data(), int(v.size()));
}
