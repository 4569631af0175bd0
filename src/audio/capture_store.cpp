#include "audio/capture_store.h"

#include <cerrno>
#include <limits>

namespace talery {

CaptureStore::~CaptureStore() {
    if (device_->isOpen()) {
        stopping_ = true;
        device_->reset();
        device_->close();
    }
}

void CaptureStore::clearChunks() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    totalFrames_ = 0;
}

void CaptureStore::freeBuffers() {
    for (auto& s : slots_) s.reset();
}

bool CaptureStore::startCapture() {
    // A new recording never keeps the previous one, even when the device fails.
    clearChunks();
    if (!device_->supports(format_)) return false;
    if (device_->isOpen()) device_->close();
    if (!device_->open(format_, [this](CaptureBuffer* b) { onBufferDone(b); },
                       [this] {
                           if (onDeviceLost) onDeviceLost();
                       }))
        return false;
    auto abandon = [this] {
        stopping_ = true;
        device_->reset();
        device_->close();
        freeBuffers();
        clearChunks();
        return false;
    };
    stopping_ = true;
    if (!device_->reset()) return abandon();
    stopping_ = false;
    clearChunks();
    freeBuffers();
    slot_ = 1;
    if (!queueNextSlot() || !queueNextSlot() || !device_->start()) return abandon();
    return true;
}

bool CaptureStore::stopCapture() {
    // The device hands buffers back on this thread, so the order "set
    // stopping, reset (which drains), close later" needs no waiting.
    stopping_ = true;
    if (!device_->isOpen()) return false;
    return device_->reset();
}

void CaptureStore::onBufferDone(CaptureBuffer* buffer) {
    if (!buffer) return;
    std::unique_ptr<CaptureBuffer>* owner = nullptr;
    for (auto& s : slots_)
        if (s.get() == buffer) owner = &s;
    if (!owner) return;  // not one of ours
    if (buffer->done) {
        buffer->done = false;
        const std::size_t frames = std::min(buffer->recorded, buffer->bytes.size()) / format_.blockAlign();
        if (frames > 0) {
            // The buffer's memory becomes the chunk: no copy per block.
            std::vector<char> chunk = std::move(buffer->bytes);
            chunk.resize(frames * format_.blockAlign());
            chunks_.push_back(std::move(chunk));
            totalFrames_ += frames;
        }
        owner->reset();
    }
    if (!stopping_) queueNextSlot();
}

bool CaptureStore::queueNextSlot() {
    slot_ ^= 1;
    auto& s = slots_[static_cast<std::size_t>(slot_)];
    if (!s) s = std::make_unique<CaptureBuffer>();
    s->bytes.assign(kCaptureBufferBytes, '\0');
    s->recorded = 0;
    s->done = false;
    return device_->addBuffer(s.get());
}

std::string CaptureStore::wavBytes() const {
    const std::uint64_t dataBytes = totalFrames_ * format_.blockAlign();
    std::string out = wavHeader(format_, static_cast<std::uint32_t>(dataBytes));
    out.reserve(out.size() + dataBytes);
    for (const auto& chunk : chunks_) out.append(chunk.data(), chunk.size());
    return out;
}

bool CaptureStore::saveCapture(const Path& path, bool overwrite, FileError* error) {
    if (!overwrite && fileExists(path)) {
        if (error) *error = {EEXIST, describeErrno(EEXIST)};
        return false;
    }
    if (device_->isOpen()) {
        if (!stopCapture()) {
            if (error) *error = {EIO, "录音设备无法停止"};
            return false;
        }
        device_->close();
        freeBuffers();
    }
    // The header's size fields are 32-bit: past that a WAV file cannot be written.
    if (totalFrames_ * format_.blockAlign() > std::numeric_limits<std::uint32_t>::max() - 36) {
        if (error) *error = {kTooLarge, "录音太长，超过了WAV文件能保存的4GB"};
        return false;
    }
    return writeFileAtomic(path, wavBytes(), error) && fileExists(path);
}

}  // namespace talery
