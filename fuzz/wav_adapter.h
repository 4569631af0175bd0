#pragma once
// What the WAV target needs of the program's WAV reader. The target is
// built once fuzz/wav_adapter.cpp exists and defines readWavForFuzz over the
// reader in src/audio/, for example:
//
//     #include "audio/wav_reader.h"
//     std::optional<talery::fuzz::WavView> talery::fuzz::readWavForFuzz(std::string_view bytes) {
//         auto wav = talery::readWav(bytes);
//         if (!wav) return std::nullopt;
//         return WavView{wav->formatTag, wav->channels, wav->sampleRate, wav->bitsPerSample, wav->samples};
//     }

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
