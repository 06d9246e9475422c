#pragma once
// Compressed audio fixtures made at test and bench time through FFmpeg's own
// encoders and muxers (no file from elsewhere).

#include <QString>
#include <cstdint>
#include <vector>

struct TEncodeFormat {
    const char* Container;  // muxer name: "flac", "mp3"
    const char* Encoder;    // encoder name: "flac", "libmp3lame"
    int64_t BitRate;        // 0 for lossless
};

inline constexpr TEncodeFormat kFlac{"flac", "flac", 0};
inline constexpr TEncodeFormat kMp3{"mp3", "libmp3lame", 128000};

// Encodes interleaved integer samples of bits (16 or 24) into path. False
// (with the reason in *error) when the encoder is missing or a step fails.
bool EncodeAudio(const QString& path, const TEncodeFormat& format, int rate, int channels, int bits,
                 const std::vector<int32_t>& samples, QString* error = nullptr);

// A WAV file as FFmpeg's muxer writes it (a LIST chunk before "data").
inline constexpr TEncodeFormat kWav24{"wav", "pcm_s24le", 0};

// Decodes path's first audio stream with FFmpeg's own decoder into interleaved
// 16-bit samples; empty (with the reason in *error) when it cannot.
std::vector<int16_t> DecodeAudioS16(const QString& path, int* channels = nullptr, QString* error = nullptr);
