#pragma once
// What the WAV target sees of the program's WAV reader (parseWav in
// src/audio/wav.h); wav_adapter.cpp maps one onto the other.

#include <cstdint>
#include <optional>
#include <string_view>

namespace talery::fuzz {

struct WavView {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::string_view samples;  // the data chunk's bytes, inside the input
};

// The reader's view of a file's bytes; nothing when it refuses them.
std::optional<WavView> readWavForFuzz(std::string_view bytes);

}  // namespace talery::fuzz
