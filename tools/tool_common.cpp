#include "tool_common.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace talery::tool {

int fail(int code, const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n";
    return code;
}

int usageError(const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n" << usageText();
    return kUsageError;
}

std::string shown(std::string_view name) {
    std::string out = "'";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7F) ? '?' : c;
    }
    return out + "'";
}

OptionTaken takePasswordOption(const std::vector<std::string>& args, std::size_t& i, PasswordOptions& options,
                               int& exitCode) {
    const std::string& a = args[i];
    if (a != "--password" && a != "--password-file") return OptionTaken::No;
    if (i + 1 >= args.size()) {
        exitCode = usageError("选项 " + a + " 后面需要一个值");
        return OptionTaken::Error;
    }
    if (options.text || options.file) {
        exitCode = usageError("密码只能给出一次（--password 或 --password-file）");
        return OptionTaken::Error;
    }
    (a == "--password" ? options.text : options.file) = args[++i];
    return OptionTaken::Yes;
}

std::optional<Text> resolvePassword(const PasswordOptions& options, int& exitCode) {
    std::string utf8 = options.text.value_or("");
    // A password given on the command line is a usage matter; a password
    // file that cannot be used is a file problem.
    const int badCode = options.file ? kFileError : kUsageError;
    const std::string where = options.file ? "密码文件 " + shown(*options.file) : std::string("密码");
    if (options.file) {
        FileError error;
        auto content = readSmall(*options.file, 64 * 1024, &error);
        if (!content) {
            exitCode = fail(kFileError, "无法读取密码文件 " + shown(*options.file) + "：" + error.reasonUtf8);
            return std::nullopt;
        }
        // One final line break is the editor's, not the password's.
        if (!content->empty() && content->back() == '\n') content->pop_back();
        if (!content->empty() && content->back() == '\r') content->pop_back();
        utf8 = std::move(*content);
    }
    auto wide = decodeUtf8(utf8);
    if (!wide) {
        exitCode = fail(badCode, where + "不是有效的UTF-8文本");
        return std::nullopt;
    }
    auto bytes = encodeGbk(*wide);
    if (!bytes) {
        exitCode = fail(badCode, where + "中有GBK无法表示的字符");
        return std::nullopt;
    }
    return bytes;
}

Input::~Input() {
    if (fd_ > 0) ::close(fd_);
}

bool Input::rewind() const { return regular_ && ::lseek(fd_, 0, SEEK_SET) == 0; }

std::optional<Input> openInput(const std::string& path, FileError* error) {
    auto refuse = [&](int code) -> std::optional<Input> {
        if (error) *error = {code, describeErrno(code)};
        return std::nullopt;
    };
    int fd = 0;
    if (path != "-") {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return refuse(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        if (fd > 0) ::close(fd);
        return refuse(code);
    }
    const bool regular = S_ISREG(st.st_mode);
    if (!regular && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode) && !(fd == 0 && S_ISCHR(st.st_mode))) {
        if (fd > 0) ::close(fd);
        return refuse(S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile);
    }
    return Input(fd, regular);
}

bool readBlock(const Input& input, std::string& buffer, std::size_t& got, FileError* error) {
    got = 0;
    // Fill the block: pipes deliver small pieces.
    while (got < buffer.size()) {
        const ssize_t n = ::read(input.fd(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = {errno, describeErrno(errno)};
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> readSmall(const std::string& path, std::size_t limit, FileError* error) {
    auto input = openInput(path, error);
    if (!input) return std::nullopt;
    std::string out;
    const bool ok = readBlocks(
        *input,
        [&](std::string_view block) {
            out += block;
            return out.size() <= limit;
        },
        error);
    if (!ok) {
        if (out.size() > limit && error) *error = {kTooLarge, describeErrno(kTooLarge)};
        return std::nullopt;
    }
    return out;
}

bool writeOut(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace talery::tool
