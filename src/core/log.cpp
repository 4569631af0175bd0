#include "core/log.h"

#include <atomic>

namespace talery {
namespace {
std::atomic<LogSink> sink{nullptr};
}

void setLogSink(LogSink s) { sink.store(s); }

void logFailure(LogArea area, std::string_view utf8) {
    if (LogSink s = sink.load()) s(area, utf8);
}

}  // namespace talery
