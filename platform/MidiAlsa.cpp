// The ALSA sequencer backend. The program is one sequencer client with two
// ports that other programs can connect to: "MIDI In" (they write to it) and
// "MIDI Out" (they read from it). Opening an input device subscribes "MIDI In"
// to that device's port. Events are read on the GUI thread when the
// sequencer's poll descriptors become readable, so no thread of our own runs.
#include "platform/MidiAlsa.h"

#include "platform/Midi.h"

#include <QSocketNotifier>

#include <poll.h>
#include <vector>

namespace {

int ShortMessageLength(std::uint8_t status)
{
    if (status < 0x80)
        return 0;
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        if (status == 0xF1 || status == 0xF3)
            return 2;
        if (status == 0xF2)
            return 3;
        return status == 0xF0 || status == 0xF7 ? 0 : 1;
    default:
        return 3;
    }
}

class TAlsaMidiBackend : public TMidiBackend {
public:
    explicit TAlsaMidiBackend(const QString& clientName)
    {
        // Without /dev/snd/seq this fails and the backend stays unavailable.
        if (snd_seq_open(&FSeq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
            FSeq = nullptr;
            return;
        }
        snd_seq_set_client_name(FSeq, clientName.toUtf8().constData());
        FSelf = snd_seq_client_id(FSeq);
        const unsigned type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
        FIn = snd_seq_create_simple_port(FSeq, "MIDI In", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, type);
        FOut = snd_seq_create_simple_port(FSeq, "MIDI Out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, type);
        if (FIn < 0 || FOut < 0 || snd_midi_event_new(256, &FDecoder) < 0 || snd_midi_event_new(16, &FEncoder) < 0) {
            Release();
            return;
        }
        snd_midi_event_no_status(FDecoder, 1);
        const int n = snd_seq_poll_descriptors_count(FSeq, POLLIN);
        std::vector<pollfd> fds(static_cast<std::size_t>(n > 0 ? n : 0));
        if (n > 0)
            snd_seq_poll_descriptors(FSeq, fds.data(), static_cast<unsigned>(n), POLLIN);
        for (const pollfd& p : fds) {
            auto notifier = std::make_unique<QSocketNotifier>(p.fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { ReadEvents(); });
            FNotifiers.push_back(std::move(notifier));
        }
    }

    ~TAlsaMidiBackend() override { Release(); }

    bool Available() const override { return FSeq != nullptr; }

    // Every port others can read from and subscribe to, except the system
    // client's and our own. "Midi Through" counts: it is a real port.
    QStringList InputDevices() override
    {
        FPorts.clear();
        QStringList names;
        if (!FSeq)
            return names;
        snd_seq_client_info_t* client = nullptr;
        snd_seq_port_info_t* port = nullptr;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(FSeq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == SND_SEQ_CLIENT_SYSTEM || id == FSelf)
                continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(FSeq, port) >= 0) {
                const unsigned caps = snd_seq_port_info_get_capability(port);
                const unsigned want = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                if ((caps & want) != want || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                    continue;
                FPorts.push_back(*snd_seq_port_info_get_addr(port));
                names << QString::fromUtf8(snd_seq_client_info_get_name(client)) + QStringLiteral(": ") +
                             QString::fromUtf8(snd_seq_port_info_get_name(port));
            }
        }
        return names;
    }

    bool OpenInput(int device) override
    {
        CloseInput();
        if (!FSeq)
            return false;
        InputDevices();
        if (device >= 0 && device < int(FPorts.size())) {
            const snd_seq_addr_t a = FPorts[std::size_t(device)];
            if (snd_seq_connect_from(FSeq, FIn, a.client, a.port) < 0)
                return false;
            FSource = a;
            FSubscribed = true;
        } else if (!FPorts.empty()) {
            return false;
        }
        FOpen = true;
        return true;
    }

    void CloseInput() override
    {
        if (FSeq && FSubscribed)
            snd_seq_disconnect_from(FSeq, FIn, FSource.client, FSource.port);
        FSubscribed = false;
        FOpen = false;
    }

    bool InputOpen() const override { return FOpen; }

    bool SendShortMessage(std::uint32_t message) override
    {
        if (!FSeq || !HasReceivers())
            return false;
        const std::uint8_t bytes[3] = {std::uint8_t(message), std::uint8_t(message >> 8), std::uint8_t(message >> 16)};
        const int length = ShortMessageLength(bytes[0]);
        if (length == 0)
            return false;   // no status byte: nothing MIDI can carry
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_midi_event_reset_encode(FEncoder);
        if (snd_midi_event_encode(FEncoder, bytes, length, &ev) != length || ev.type == SND_SEQ_EVENT_NONE)
            return false;
        snd_seq_ev_set_source(&ev, FOut);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        return snd_seq_event_output_direct(FSeq, &ev) >= 0;
    }

private:
    bool HasReceivers() const
    {
        snd_seq_query_subscribe_t* query = nullptr;
        snd_seq_query_subscribe_alloca(&query);
        snd_seq_addr_t root{static_cast<unsigned char>(FSelf), static_cast<unsigned char>(FOut)};
        snd_seq_query_subscribe_set_root(query, &root);
        snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
        snd_seq_query_subscribe_set_index(query, 0);
        return snd_seq_query_port_subscribers(FSeq, query) >= 0;
    }

    void ReadEvents()
    {
        snd_seq_event_t* ev = nullptr;
        std::uint32_t message = 0;
        while (FSeq && snd_seq_event_input(FSeq, &ev) >= 0 && ev) {
            if (SeqEventToShortMessage(FDecoder, *ev, message))
                Deliver(message);
        }
    }

    void Release()
    {
        FNotifiers.clear();
        CloseInput();
        if (FDecoder)
            snd_midi_event_free(FDecoder);
        if (FEncoder)
            snd_midi_event_free(FEncoder);
        FDecoder = FEncoder = nullptr;
        if (FSeq) {
            if (FIn >= 0)
                snd_seq_delete_simple_port(FSeq, FIn);
            if (FOut >= 0)
                snd_seq_delete_simple_port(FSeq, FOut);
            snd_seq_close(FSeq);
        }
        FSeq = nullptr;
    }

    snd_seq_t* FSeq = nullptr;
    snd_midi_event_t* FDecoder = nullptr;
    snd_midi_event_t* FEncoder = nullptr;
    int FSelf = -1;
    int FIn = -1;
    int FOut = -1;
    bool FOpen = false;
    bool FSubscribed = false;
    snd_seq_addr_t FSource{};
    std::vector<snd_seq_addr_t> FPorts;
    std::vector<std::unique_ptr<QSocketNotifier>> FNotifiers;
};

} // namespace

bool SeqEventToShortMessage(snd_midi_event_t* decoder, const snd_seq_event_t& ev, std::uint32_t& message)
{
    // System exclusive is no short message; its bytes sit behind a pointer.
    if (!decoder || ev.type == SND_SEQ_EVENT_SYSEX)
        return false;
    // Room for the longest decoded event (a 14-bit parameter as four controller messages).
    unsigned char bytes[16];
    snd_midi_event_reset_decode(decoder);
    const long n = snd_midi_event_decode(decoder, bytes, sizeof bytes, &ev);
    return n > 0 && PackShortMessage(bytes, int(n), message);
}

std::unique_ptr<TMidiBackend> CreateSystemMidiBackend(const QString& clientName)
{
    return std::make_unique<TAlsaMidiBackend>(clientName);
}
