// Built without the ALSA sequencer: no MIDI system, no devices.
#include "platform/Midi.h"

namespace {
class TNoMidiBackend : public TMidiBackend {
public:
    bool Available() const override { return false; }
    QStringList InputDevices() override { return {}; }
    bool OpenInput(int) override { return false; }
    void CloseInput() override {}
    bool InputOpen() const override { return false; }
    bool SendShortMessage(std::uint32_t) override { return false; }
};
} // namespace

std::unique_ptr<TMidiBackend> CreateSystemMidiBackend(const QString&)
{
    return std::make_unique<TNoMidiBackend>();
}
