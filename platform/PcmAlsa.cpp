// PCM output and the device list over ALSA (libasound2).

#include "platform/PcmOut.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

namespace {

void SilentErrorHandler(const char*, int, const char*, int, const char*, ...) {}

// alsa-lib prints its errors to stderr by default ("Unknown PCM default" on a
// machine without a sound card, for every attempt); the caller reports them.
void SilenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&SilentErrorHandler); });
}

QString AlsaText(int error)
{
    return QString::fromLocal8Bit(snd_strerror(error));
}

class TAlsaPcmOut : public TPcmOut {
public:
    explicit TAlsaPcmOut(const QString& name) : FName(name) {}
    ~TAlsaPcmOut() override { Close(); }

    bool Open(std::int32_t rate, std::int32_t channels, std::int32_t bits, std::int32_t bufferFrames,
              std::int32_t periodFrames) override
    {
        Close();
        SilenceAlsa();
        if (bits != 8 && bits != 16) {
            FErrorText = QStringLiteral("Format nicht unterstützt: %1 Bit").arg(bits);
            return false;
        }
        const QByteArray name = FName.toLocal8Bit();
        int err = snd_pcm_open(&FPcm, name.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (err < 0) {
            FPcm = nullptr;
            return Failed(err);
        }
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        snd_pcm_uframes_t buffer = snd_pcm_uframes_t(std::max(bufferFrames, 1));
        snd_pcm_uframes_t period = snd_pcm_uframes_t(std::max(periodFrames, 1));
        int dir = 0;
        if ((err = snd_pcm_hw_params_any(FPcm, hw)) < 0
            || (err = snd_pcm_hw_params_set_access(FPcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0
            || (err = snd_pcm_hw_params_set_format(FPcm, hw, bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE)) < 0
            || (err = snd_pcm_hw_params_set_channels(FPcm, hw, unsigned(channels))) < 0
            || (err = snd_pcm_hw_params_set_rate_resample(FPcm, hw, 1)) < 0
            || (err = snd_pcm_hw_params_set_rate(FPcm, hw, unsigned(rate), 0)) < 0
            || (err = snd_pcm_hw_params_set_buffer_size_near(FPcm, hw, &buffer)) < 0
            || (err = snd_pcm_hw_params_set_period_size_near(FPcm, hw, &period, &dir)) < 0
            || (err = snd_pcm_hw_params(FPcm, hw)) < 0)
            return Failed(err);
        snd_pcm_hw_params_get_buffer_size(hw, &buffer);
        snd_pcm_hw_params_get_period_size(hw, &period, &dir);
        FCanPause = snd_pcm_hw_params_can_pause(hw) != 0;
        FBufferFrames = std::int64_t(buffer);

        // Start once a period is queued; what has been played is overwritten
        // with silence, so that a stream that runs dry never repeats old samples.
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_uframes_t boundary = 0;
        if ((err = snd_pcm_sw_params_current(FPcm, sw)) < 0
            || (err = snd_pcm_sw_params_get_boundary(sw, &boundary)) < 0
            || (err = snd_pcm_sw_params_set_start_threshold(FPcm, sw, period)) < 0
            || (err = snd_pcm_sw_params_set_avail_min(FPcm, sw, period)) < 0
            || (err = snd_pcm_sw_params_set_silence_threshold(FPcm, sw, 0)) < 0
            || (err = snd_pcm_sw_params_set_silence_size(FPcm, sw, boundary)) < 0
            || (err = snd_pcm_sw_params(FPcm, sw)) < 0
            || (err = snd_pcm_prepare(FPcm)) < 0)
            return Failed(err);
        return true;
    }

    std::int64_t BufferFrames() const override { return FBufferFrames; }

    std::int64_t Queued() override
    {
        if (!FPcm)
            return 0;
        const snd_pcm_sframes_t avail = snd_pcm_avail(FPcm);
        if (avail < 0)
            return avail;
        return std::clamp<std::int64_t>(FBufferFrames - avail, 0, FBufferFrames);
    }

    std::int64_t Write(const void* data, std::int64_t frames) override
    {
        if (!FPcm)
            return -EBADF;
        const snd_pcm_sframes_t n = snd_pcm_writei(FPcm, data, snd_pcm_uframes_t(frames));
        return n;
    }

    bool Recover(int error) override { return FPcm && snd_pcm_recover(FPcm, error, 1) == 0; }

    void Pause(bool pause) override
    {
        // Without hardware pause the queued samples play out and the stream runs
        // dry; the next write after the pause recovers it.
        if (FPcm && FCanPause)
            snd_pcm_pause(FPcm, pause ? 1 : 0);
    }

    void Drop() override
    {
        if (FPcm) {
            snd_pcm_drop(FPcm);
            snd_pcm_prepare(FPcm);
        }
    }

    void Close() override
    {
        if (FPcm) {
            snd_pcm_drop(FPcm);
            snd_pcm_close(FPcm);
            FPcm = nullptr;
        }
    }

private:
    bool Failed(int error)
    {
        FErrorText = QStringLiteral("ALSA \"%1\": %2").arg(FName, AlsaText(error));
        Close();
        return false;
    }

    QString FName;
    snd_pcm_t* FPcm = nullptr;
    std::int64_t FBufferFrames = 0;
    bool FCanPause = false;
};

} // namespace

std::unique_ptr<TPcmOut> CreateAlsaPcmOut(const QString& pcmName)
{
    return std::make_unique<TAlsaPcmOut>(pcmName);
}

std::vector<TPcmDevice> ListAlsaPcmDevices()
{
    SilenceAlsa();
    std::vector<TPcmDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return devices;
    const auto take = [](void* hint, const char* id) {
        char* value = snd_device_name_get_hint(hint, id);
        QString text = value ? QString::fromLocal8Bit(value) : QString();
        free(value);
        return text;
    };
    for (void** hint = hints; *hint; ++hint) {
        const QString name = take(*hint, "NAME");
        const QString ioid = take(*hint, "IOID");
        if (name.isEmpty() || name == QLatin1String("null") || ioid == QLatin1String("Input"))
            continue;
        QString description = take(*hint, "DESC").section(QLatin1Char('\n'), 0, 0);
        if (description.isEmpty())
            description = name;
        devices.push_back({description, name, name == QLatin1String("default"),
                           [name] { return CreateAlsaPcmOut(name); }});
    }
    snd_device_name_free_hint(hints);
    return devices;
}
