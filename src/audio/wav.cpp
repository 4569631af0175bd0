#include "audio/wav.h"

#include <fstream>
#include <functional>

namespace talery {
namespace {

void put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t get16(std::string_view b, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(b[at])) | std::uint32_t(static_cast<unsigned char>(b[at + 1])) << 8;
}

std::uint32_t get32(std::string_view b, std::size_t at) { return get16(b, at) | get16(b, at + 2) << 16; }

// Reads `count` bytes at `offset`; fewer when the source ends.
using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t count)>;

bool encodingPlayable(std::uint16_t tag) {
    // PCM, IEEE float, A-law, mu-law and the extensible wrapper around them.
    return tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE;
}

std::optional<WavLayout> walkChunks(std::uint64_t size, const ReadAt& read, WavProblem* problem) {
    auto fail = [&](WavProblem p) -> std::optional<WavLayout> {
        if (problem) *problem = p;
        return std::nullopt;
    };
    if (problem) *problem = WavProblem::None;
    if (size == 0) return fail(WavProblem::Empty);
    const std::string head = read(0, 12);
    if (head.size() < 12 || head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "WAVE") != 0)
        return fail(WavProblem::NotWav);
    // The RIFF size field is not trusted: some writers store the whole length,
    // some a wrong one; the file's real size bounds the walk.
    WavLayout layout;
    bool haveFormat = false, haveData = false;
    std::uint64_t at = 12;
    while (at + 8 <= size && !(haveFormat && haveData)) {
        const std::string chunk = read(at, 8);
        if (chunk.size() < 8) break;
        const std::uint64_t length = get32(chunk, 4);
        const std::uint64_t body = at + 8;
        if (chunk.compare(0, 4, "fmt ") == 0 && !haveFormat) {
            if (length < 16) return fail(WavProblem::NoFormat);
            const std::string f = read(body, 16);
            if (f.size() < 16) return fail(WavProblem::NoFormat);
            layout.format.formatTag = static_cast<std::uint16_t>(get16(f, 0));
            layout.format.channels = static_cast<std::uint16_t>(get16(f, 2));
            layout.format.samplesPerSecond = get32(f, 4);
            layout.storedBlockAlign = static_cast<std::uint16_t>(get16(f, 12));
            layout.format.bitsPerSample = static_cast<std::uint16_t>(get16(f, 14));
            haveFormat = true;
        } else if (chunk.compare(0, 4, "data") == 0 && !haveData) {
            layout.dataOffset = body;
            layout.dataBytes = std::min<std::uint64_t>(length, size - body);
            layout.truncated = length > size - body;
            haveData = true;
        }
        at = body + length + (length & 1);
    }
    if (!haveFormat) return fail(WavProblem::NoFormat);
    const PcmFormat& f = layout.format;
    if (f.channels == 0 || f.samplesPerSecond == 0 || f.bitsPerSample == 0 || layout.storedBlockAlign == 0)
        return fail(WavProblem::NoFormat);
    if (!encodingPlayable(f.formatTag)) return fail(WavProblem::UnsupportedEncoding);
    if (!haveData) return fail(WavProblem::NoData);
    return layout;
}

}  // namespace

std::string wavHeader(const PcmFormat& format, std::uint32_t dataBytes) {
    std::string out;
    out.reserve(44);
    out += "RIFF";
    put32(out, dataBytes + 36);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, format.formatTag);
    put16(out, format.channels);
    put32(out, format.samplesPerSecond);
    put32(out, format.bytesPerSecond());
    put16(out, format.blockAlign());
    put16(out, format.bitsPerSample);
    out += "data";
    put32(out, dataBytes);
    return out;
}

std::optional<WavLayout> parseWav(std::string_view bytes, WavProblem* problem) {
    return walkChunks(bytes.size(), [bytes](std::uint64_t offset, std::size_t count) {
        if (offset >= bytes.size()) return std::string();
        return std::string(bytes.substr(static_cast<std::size_t>(offset), count));
    }, problem);
}

std::optional<WavLayout> inspectWavFile(const Path& path, WavProblem* problem) {
    if (!isRegularFile(path)) {
        if (problem) *problem = WavProblem::Unreadable;
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        if (problem) *problem = WavProblem::Unreadable;
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(in.tellg());
    return walkChunks(size, [&in](std::uint64_t offset, std::size_t count) {
        std::string out(count, '\0');
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(out.data(), static_cast<std::streamsize>(count));
        out.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
        return out;
    }, problem);
}

std::string describeWavProblem(WavProblem problem) {
    switch (problem) {
        case WavProblem::None: return {};
        case WavProblem::Empty: return "文件是空的";
        case WavProblem::Unreadable: return "文件无法读取";
        case WavProblem::NotWav: return "这不是WAV声音文件";
        case WavProblem::NoFormat: return "WAV文件缺少有效的格式信息";
        case WavProblem::UnsupportedEncoding: return "WAV文件的声音编码无法播放";
        case WavProblem::NoData: return "WAV文件里没有声音数据";
    }
    return {};
}

}  // namespace talery
