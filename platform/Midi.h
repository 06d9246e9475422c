#pragma once
// MIDI input and output as the MIDI page uses them: a list of input devices by
// name, one of them opened at a time, short messages delivered on the GUI
// thread, and short messages sent out. The system backend is the ALSA
// sequencer; tests use the loopback backend, which takes the same path from
// raw bytes to the delivered message.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

// A short message as one 32-bit value: status byte in bits 0-7, data byte 1 in
// bits 8-15, data byte 2 in bits 16-23; one- and two-byte messages are padded
// with zeros. Running status is not expanded here: bytes[0] must be a status
// byte. Returns false for an empty message, a data byte first, or system
// exclusive (0xF0, 0xF7), which is no short message.
bool PackShortMessage(const std::uint8_t* bytes, int count, std::uint32_t& message);

class TMidiBackend {
public:
    virtual ~TMidiBackend() = default;

    // False when the machine has no MIDI system (no sequencer device): then no
    // device is listed, nothing opens and nothing is sent.
    virtual bool Available() const = 0;
    // The input devices by name; index 0 is "device 0".
    virtual QStringList InputDevices() = 0;
    // Opens input device (any index when none exists: the program's own port
    // still receives what other programs send to it). False when it cannot.
    virtual bool OpenInput(int device) = 0;
    virtual void CloseInput() = 0;
    virtual bool InputOpen() const = 0;
    // True when the message went out to at least one receiver.
    virtual bool SendShortMessage(std::uint32_t message) = 0;

    // Called on the GUI thread for each short message while input is open.
    std::function<void(std::uint32_t)> OnShortMessage;

protected:
    // Packs bytes and hands the message on while input is open.
    void Deliver(const std::uint8_t* bytes, int count);
    // Hands a packed message on while input is open.
    void Deliver(std::uint32_t message);
};

// The ALSA sequencer backend when the program was built with it and the
// sequencer opens; otherwise a backend that is not available.
std::unique_ptr<TMidiBackend> CreateSystemMidiBackend(const QString& clientName);

// Input and output inside the process: Receive plays a device sending bytes,
// Sent records what went out. Accepted decides what sending returns.
class TLoopbackMidiBackend : public TMidiBackend {
public:
    explicit TLoopbackMidiBackend(QStringList devices = {QStringLiteral("Loopback 0")}) : Devices(std::move(devices)) {}

    bool Available() const override { return true; }
    QStringList InputDevices() override { return Devices; }
    bool OpenInput(int device) override;
    void CloseInput() override { FOpen = -1; }
    bool InputOpen() const override { return FOpen >= 0; }
    bool SendShortMessage(std::uint32_t message) override;

    // Bytes from device (ignored unless that device is open).
    void Receive(int device, std::initializer_list<std::uint8_t> bytes);
    int OpenDevice() const { return FOpen; }

    QStringList Devices;
    bool Accepted = true;
    QList<std::uint32_t> Sent;

private:
    int FOpen = -1;
};
