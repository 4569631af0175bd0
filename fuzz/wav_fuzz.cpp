// The WAV reader over arbitrary bytes: it never reads outside the file, and
// a recording in the layout the recorder writes reads back exactly.

#include "fuzz_input.h"
#include "wav_adapter.h"

#include <string>

using namespace talery;

namespace {

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// 16-bit mono 8000 Hz PCM with the 44-byte header, as recordings are saved.
std::string recording(std::string_view samples) {
    std::string out = "RIFF";
    put32(out, static_cast<std::uint32_t>(samples.size() + 36));
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, 8000);
    put32(out, 16000);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, static_cast<std::uint32_t>(samples.size()));
    out += samples;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto wav = fuzz::readWavForFuzz(bytes)) {
        FUZZ_CHECK(wav->samples.empty() ||
                   (wav->samples.data() >= bytes.data() &&
                    wav->samples.data() + wav->samples.size() <= bytes.data() + bytes.size()));
        FUZZ_CHECK(wav->samples.size() + 44 <= bytes.size());
    }

    const std::string_view samples = bytes.substr(0, bytes.size() & ~std::size_t(1));
    const std::string file = recording(samples);
    const auto wav = fuzz::readWavForFuzz(file);
    FUZZ_CHECK(wav.has_value());
    FUZZ_CHECK(wav->formatTag == 1 && wav->channels == 1 && wav->sampleRate == 8000 && wav->bitsPerSample == 16);
    FUZZ_CHECK(wav->samples == samples);
    return 0;
}
