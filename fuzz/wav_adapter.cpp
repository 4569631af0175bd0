// The WAV target over the program's own reader.
#include "wav_adapter.h"

#include "audio/wav.h"

std::optional<talery::fuzz::WavView> talery::fuzz::readWavForFuzz(std::string_view bytes) {
    const auto wav = talery::parseWav(bytes);
    if (!wav) return std::nullopt;
    return WavView{wav->format.formatTag, wav->format.channels, wav->format.samplesPerSecond,
                   wav->format.bitsPerSample, bytes.substr(wav->dataOffset, wav->dataBytes)};
}
