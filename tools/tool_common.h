#pragma once
// What every talery-tool command shares: exit codes, one-line messages in
// Chinese, the password options, and reading inputs that may be files,
// pipes, FIFOs or standard input ("-").

#include "core/files.h"
#include "core/text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talery::tool {

constexpr int kDone = 0;
constexpr int kFileError = 1;   // a file or the system failed
constexpr int kUsageError = 2;  // the command line is wrong
constexpr int kNotText = 3;     // the input is not text; for decrypt, probably a wrong password

// The whole usage text, every command's lines and the exit codes (defined
// with the command table).
std::string usageText();

// Commands that live in files of their own.
int runStats(const std::vector<std::string>& args);  // tools/stats_command.cpp

// "talery-tool: <line>" on standard error; returns `code`.
int fail(int code, const std::string& line);
// A wrong command line: the problem, then the usage text.
int usageError(const std::string& line);

// A name as it appears in a message, quoted, control bytes shown as "?".
std::string shown(std::string_view name);

// --password TEXT / --password-file FILE, at most one of them.
struct PasswordOptions {
    std::optional<std::string> text;
    std::optional<std::string> file;
};
enum class OptionTaken { No, Yes, Error };
// Takes args[i] (and its value) when it is a password option; on Error the
// usage error has been reported and `exitCode` set.
OptionTaken takePasswordOption(const std::vector<std::string>& args, std::size_t& i, PasswordOptions& options,
                               int& exitCode);
// The password as GBK (given in UTF-8; none means the empty password). On
// failure the message has been reported and `exitCode` set.
std::optional<Text> resolvePassword(const PasswordOptions& options, int& exitCode);

// An open input: a regular file can be read twice (checked, then used).
class Input {
public:
    Input(int fd, bool regular) : fd_(fd), regular_(regular) {}
    ~Input();
    Input(Input&& other) noexcept : fd_(other.fd_), regular_(other.regular_) { other.fd_ = -1; }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    int fd() const { return fd_; }
    bool rewindable() const { return regular_; }
    bool rewind() const;

private:
    int fd_;
    bool regular_;
};
// "-" is standard input; pipes and FIFOs are read as they come; folders and
// devices other than those are refused.
std::optional<Input> openInput(const std::string& path, FileError* error);
// Reads blocks until the end, handing each to `sink`; false on a read error
// (reported in `error`) or when `sink` returns false.
template <class Sink>
bool readBlocks(const Input& input, Sink sink, FileError* error);
bool readBlock(const Input& input, std::string& buffer, std::size_t& got, FileError* error);
// Reads all of a small input (at most `limit` bytes).
std::optional<std::string> readSmall(const std::string& path, std::size_t limit, FileError* error);

// Writes to standard output; false (errno kept) when it could not.
bool writeOut(std::string_view bytes);

template <class Sink>
bool readBlocks(const Input& input, Sink sink, FileError* error) {
    std::string buffer(std::size_t(1) << 20, '\0');
    for (;;) {
        std::size_t got = 0;
        if (!readBlock(input, buffer, got, error)) return false;
        if (got == 0) return true;
        if (!sink(std::string_view(buffer.data(), got))) return false;
    }
}

}  // namespace talery::tool
