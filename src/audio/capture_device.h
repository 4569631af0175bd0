#pragma once
// What the recorder asks of the sound input: the default input device opened
// in one PCM format, buffers queued to it and handed back filled.

#include "audio/wav.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace talery {

constexpr std::size_t kCaptureBufferBytes = 4096;  // 0.256 s at the recording format

// One buffer queued to the device. The device writes from the start and sets
// `recorded`; `done` says it has come back.
struct CaptureBuffer {
    std::vector<char> bytes;
    std::size_t recorded = 0;
    bool done = false;
};

class CaptureDevice {
public:
    using BufferDone = std::function<void(CaptureBuffer*)>;
    using Lost = std::function<void()>;

    virtual ~CaptureDevice() = default;
    // Whether the default input device exists and accepts the format; opens nothing.
    virtual bool supports(const PcmFormat& format) = 0;
    // `done` receives every buffer the device hands back; `lost` is told when
    // the device goes away while open.
    virtual bool open(const PcmFormat& format, BufferDone done, Lost lost) = 0;
    virtual bool isOpen() const = 0;
    virtual bool addBuffer(CaptureBuffer* buffer) = 0;
    virtual bool start() = 0;
    // Stops capture and hands back every queued buffer, partly filled, in order.
    virtual bool reset() = 0;
    virtual void close() = 0;
};

// The machine has no input device at all.
class NoCaptureDevice final : public CaptureDevice {
public:
    bool supports(const PcmFormat&) override { return false; }
    bool open(const PcmFormat&, BufferDone, Lost) override { return false; }
    bool isOpen() const override { return false; }
    bool addBuffer(CaptureBuffer*) override { return false; }
    bool start() override { return false; }
    bool reset() override { return false; }
    void close() override {}
};

}  // namespace talery
