#pragma once
// WAV files: the 44-byte header recordings are written with, and a reader
// that walks the chunks of any RIFF WAVE file without trusting its size fields.

#include "core/files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talery {

struct PcmFormat {
    std::uint16_t formatTag = 1;  // 1 = PCM
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSecond = 8000;
    std::uint16_t bitsPerSample = 16;

    // Always derived from the three settings, with integer arithmetic.
    std::uint16_t blockAlign() const { return static_cast<std::uint16_t>(channels * bitsPerSample / 8); }
    std::uint32_t bytesPerSecond() const { return std::uint32_t(channels) * bitsPerSample * samplesPerSecond / 8; }
    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

// What the recorder captures and writes: 16-bit mono at 8000 samples per second.
constexpr PcmFormat kRecordingFormat{1, 1, 8000, 16};

// "RIFF", data + 36, "WAVEfmt ", the 16-byte format chunk, "data", data length.
std::string wavHeader(const PcmFormat& format, std::uint32_t dataBytes);

// Where a WAV file keeps its samples, as found by walking its chunks.
struct WavLayout {
    PcmFormat format;
    std::uint16_t storedBlockAlign = 0;  // as the file states it
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;         // what the file really holds
    bool truncated = false;              // the data chunk claims more bytes than the file has
};

enum class WavProblem { None, Empty, Unreadable, NotWav, NoFormat, UnsupportedEncoding, NoData };

// A WAV image in memory.
std::optional<WavLayout> parseWav(std::string_view bytes, WavProblem* problem = nullptr);
// A WAV file on disk: only the chunk headers are read, so size does not matter.
std::optional<WavLayout> inspectWavFile(const Path& path, WavProblem* problem = nullptr);

// A short Chinese reason for a problem, UTF-8.
std::string describeWavProblem(WavProblem problem);

}  // namespace talery
