#pragma once
// The recorder's store: two capture buffers circulating through the device,
// the recorded chunks in arrival order, and the WAV file they make.

#include "audio/capture_device.h"

#include <array>
#include <memory>

namespace talery {

class CaptureStore {
public:
    explicit CaptureStore(CaptureDevice& device) : device_(&device) {}
    ~CaptureStore();
    CaptureStore(const CaptureStore&) = delete;
    CaptureStore& operator=(const CaptureStore&) = delete;

    // Only while the device is closed.
    void setDevice(CaptureDevice& device) { device_ = &device; }

    // Clears the previous recording, opens the default input and starts
    // capture with both buffers queued. False as soon as a step fails.
    bool startCapture();
    // Sets the stopping flag and resets the device, so that every queued
    // buffer comes back (partly filled) and none is queued again.
    bool stopCapture();
    // Writes the recording as a WAV file (closing the device first). With
    // `overwrite` false an existing file is left alone and false returned.
    bool saveCapture(const Path& path, bool overwrite, FileError* error = nullptr);

    // A buffer the device handed back.
    void onBufferDone(CaptureBuffer* buffer);

    // Tells the owner that the input device went away mid-recording.
    std::function<void()> onDeviceLost;

    const PcmFormat& format() const { return format_; }
    // Each chunk is a buffer's recorded whole frames, kept without copying.
    const std::vector<std::vector<char>>& chunks() const { return chunks_; }
    std::uint64_t totalFrames() const { return totalFrames_; }
    bool stopping() const { return stopping_; }
    bool deviceOpen() const { return device_->isOpen(); }
    // Header and samples, as saved.
    std::string wavBytes() const;

private:
    bool queueNextSlot();
    void clearChunks();
    void freeBuffers();

    CaptureDevice* device_;
    PcmFormat format_ = kRecordingFormat;
    std::array<std::unique_ptr<CaptureBuffer>, 2> slots_;
    int slot_ = 1;  // the first queued buffer goes to slot 0
    std::vector<std::vector<char>> chunks_;
    std::uint64_t totalFrames_ = 0;
    bool stopping_ = false;
};

}  // namespace talery
