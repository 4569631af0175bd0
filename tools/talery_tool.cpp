// talery-tool: read and write encrypted Talery documents from the command line.
// Each command is one function in the table at the bottom; shared pieces
// (password options, inputs, messages, exit codes) are in tool_common.h.

#include "core/cipher.h"
#include "session/documents.h"
#include "tool_common.h"

#include <csignal>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace talery::tool {
namespace {

// Cuts a stream into whole characters across block boundaries and checks or
// converts each piece, so that any size passes through a few megabytes.
class TextStream {
public:
    enum class Mode { Raw, CheckGbk, GbkToUtf8, Utf8ToGbk };
    enum class Problem { None, Nul, NotGbk, LooksUtf8, NotUtf8, NotRepresentable };

    TextStream(Mode mode, bool decrypting) : mode_(mode), decrypting_(decrypting) {}

    // The piece ready to go on; nothing when the input is not what the mode
    // expects (problem() and offset() then say what and where).
    std::optional<std::string> feed(std::string_view block, bool last) {
        if (mode_ == Mode::Raw) return std::string(block);
        std::string data = std::move(carry_);
        data.append(block);
        const std::size_t cut = last ? data.size() : wholeCharacters(data);
        carry_ = data.substr(cut);
        data.resize(cut);
        auto out = convert(data);
        consumed_ += cut;
        return out;
    }
    Problem problem() const { return problem_; }
    std::uint64_t offset() const { return offset_; }

private:
    std::size_t wholeCharacters(std::string_view data) const {
        const std::size_t n = data.size();
        if (n == 0) return 0;
        if (mode_ == Mode::Utf8ToGbk) {
            // A lead byte among the last three whose sequence goes on past the end.
            for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
                const auto b = static_cast<unsigned char>(data[n - back]);
                if ((b & 0xC0) == 0x80) continue;
                const std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
                return need > back ? n - back : n;
            }
            return n;
        }
        std::size_t start = 0;
        for (std::size_t pos = 0; pos < n; pos += gbkCharLength(data, pos)) start = pos;
        const auto lastByte = static_cast<unsigned char>(data[n - 1]);
        return (start == n - 1 && lastByte >= 0x81 && lastByte <= 0xFE) ? n - 1 : n;
    }

    std::optional<std::string> refuse(Problem p, std::size_t at) {
        problem_ = p;
        offset_ = consumed_ + at;
        return std::nullopt;
    }

    std::optional<std::string> convert(std::string& data) {
        const auto nul = data.find('\0');
        ConversionError error;
        if (mode_ == Mode::Utf8ToGbk) {
            auto wide = decodeUtf8(data, &error);
            if (!wide) return refuse(Problem::NotUtf8, error.offset);
            if (nul != std::string::npos) return refuse(Problem::Nul, nul);
            auto gbkText = encodeGbk(*wide, &error);
            if (!gbkText) return refuse(Problem::NotRepresentable, encodeUtf8(std::u16string_view(*wide).substr(0, error.offset)).size());
            return gbkText;
        }
        auto wide = decodeGbk(data, &error);
        if (nul != std::string::npos && (wide || nul < error.offset)) return refuse(Problem::Nul, nul);
        if (!wide) return refuse(Problem::NotGbk, error.offset);
        if (mode_ == Mode::GbkToUtf8) return encodeUtf8(*wide);
        // UTF-8 Chinese is often valid GBK too; read it the way the program would.
        if (!decrypting_ && utf8ReadsBetterThanGbk(data)) return refuse(Problem::LooksUtf8, 0);
        return std::move(data);
    }

    Mode mode_;
    bool decrypting_;
    std::string carry_;
    std::uint64_t consumed_ = 0;
    Problem problem_ = Problem::None;
    std::uint64_t offset_ = 0;
};

struct Options {
    PasswordOptions password;
    bool utf8 = false;
    bool raw = false;
    std::optional<std::string> file;
};

// The common command line of encrypt and decrypt; nothing when it was wrong.
std::optional<Options> parse(const std::vector<std::string>& args, int& exitCode) {
    Options o;
    bool optionsEnded = false;  // after "--" every argument is a file name
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded) {
            const OptionTaken taken = takePasswordOption(args, i, o.password, exitCode);
            if (taken == OptionTaken::Error) return std::nullopt;
            if (taken == OptionTaken::Yes) continue;
            if (a == "--utf8" || a == "--raw") {
                (a == "--utf8" ? o.utf8 : o.raw) = true;
                continue;
            }
            if (a == "--") {
                optionsEnded = true;
                continue;
            }
            if (a.size() > 1 && a[0] == '-') {
                exitCode = usageError("未知的选项 " + shown(a));
                return std::nullopt;
            }
        }
        if (o.file) {
            exitCode = usageError("给出了不止一个文件");
            return std::nullopt;
        }
        o.file = a;
    }
    if (o.utf8 && o.raw) {
        exitCode = usageError("--utf8 和 --raw 不能同时使用");
        return std::nullopt;
    }
    if (!o.file) {
        exitCode = usageError("没有给出文件");
        return std::nullopt;
    }
    if (*o.file == "-" && o.password.file && *o.password.file == "-") {
        exitCode = usageError("标准输入（-）只能用一次");
        return std::nullopt;
    }
    return o;
}

std::string describe(const TextStream& s, bool decrypting) {
    const std::string at = "（第" + std::to_string(s.offset()) + "字节处）";
    switch (s.problem()) {
        case TextStream::Problem::Nul:
            return decrypting ? "解密后含有空字节" + at + "，不是文本，密码可能不正确"
                              : "含有空字节" + at + "，不是文本；要加密任意字节请用 --raw";
        case TextStream::Problem::NotGbk:
            return decrypting ? "解密后不是GBK文本" + at + "，密码可能不正确"
                              : "不是GBK文本" + at + "，加密后将无法打开；UTF-8文本请用 --utf8，任意字节请用 --raw";
        case TextStream::Problem::LooksUtf8:
            return "看起来是UTF-8文本，按GBK加密后将无法正确打开；请用 --utf8 转换，或用 --raw 原样加密";
        case TextStream::Problem::NotUtf8: return "不是有效的UTF-8文本" + at;
        case TextStream::Problem::NotRepresentable: return "中有GBK无法表示的字符" + at;
        case TextStream::Problem::None: break;
    }
    return "不是文本";
}

// Both commands are the same pipeline: decrypt deciphers, then checks or
// converts; encrypt checks or converts, then enciphers. A regular file is
// checked whole before anything is written, so a refusal leaves no output;
// a pipe is checked as it goes.
int transform(const std::vector<std::string>& args, bool decrypting) {
    int exitCode = kDone;
    auto options = parse(args, exitCode);
    if (!options) return exitCode;
    auto password = resolvePassword(options->password, exitCode);
    if (!password) return exitCode;
    FileError error;
    auto input = openInput(*options->file, &error);
    if (!input) return fail(kFileError, "无法读取 " + shown(*options->file) + "：" + error.reasonUtf8);

    using Mode = TextStream::Mode;
    const Mode mode = options->raw ? Mode::Raw
                      : options->utf8 ? (decrypting ? Mode::GbkToUtf8 : Mode::Utf8ToGbk)
                                      : Mode::CheckGbk;
    const auto key = deriveDocumentKey(documentKeyText(*password));
    auto cipherStep = [](Rc4& rc4, std::string& bytes) {
        rc4.apply(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
    };
    const std::string name = shown(*options->file);

    // One pass over the input; `emit` receives each finished piece.
    auto pass = [&](TextStream& stream, auto emit) {
        Rc4 rc4(key);
        auto step = [&](std::string_view block, bool last) {
            std::string bytes(block);
            if (decrypting) cipherStep(rc4, bytes);
            auto piece = stream.feed(bytes, last);
            if (!piece) return false;
            if (!decrypting) cipherStep(rc4, *piece);
            return emit(*piece);
        };
        const bool ok = readBlocks(*input, [&](std::string_view block) { return step(block, false); }, &error) &&
                        step({}, true);
        return ok;
    };

    if (mode != Mode::Raw && input->rewindable()) {
        TextStream check(mode, decrypting);
        if (!pass(check, [](const std::string&) { return true; })) {
            if (check.problem() != TextStream::Problem::None) return fail(kNotText, name + " " + describe(check, decrypting));
            return fail(kFileError, "无法读取 " + name + "：" + error.reasonUtf8);
        }
        if (!input->rewind()) return fail(kFileError, "无法读取 " + name + "：" + describeErrno(errno));
    }
    TextStream stream(mode, decrypting);
    bool writeFailed = false;
    int writeErrno = 0;
    const bool ok = pass(stream, [&](const std::string& piece) {
        if (writeOut(piece)) return true;
        writeFailed = true;
        writeErrno = errno;
        return false;
    });
    if (ok) return kDone;
    if (writeFailed) return fail(kFileError, "无法写出结果：" + describeErrno(writeErrno));
    if (stream.problem() != TextStream::Problem::None)
        return fail(kNotText, name + " " + describe(stream, decrypting) + "；已经写出的结果不完整");
    return fail(kFileError, "无法读取 " + name + "：" + error.reasonUtf8);
}

int runDecrypt(const std::vector<std::string>& args) { return transform(args, true); }
int runEncrypt(const std::vector<std::string>& args) { return transform(args, false); }

struct Command {
    const char* name;
    const char* usage;  // its lines in the usage text
    int (*run)(const std::vector<std::string>& args);  // args[0] is the command's name
};

const Command kCommands[] = {
    {"decrypt",
     "talery-tool decrypt [--password 密码 | --password-file 文件] [--utf8 | --raw] 文件.tlr\n"
     "    把加密文档解密，写到标准输出：GBK文本；--utf8 转为UTF-8；--raw 原样写出每个字节\n",
     runDecrypt},
    {"encrypt",
     "talery-tool encrypt [--password 密码 | --password-file 文件] [--utf8 | --raw] 文件\n"
     "    把GBK文本加密成.tlr文档，写到标准输出；--utf8 读入UTF-8文本；--raw 接受任意字节\n",
     runEncrypt},
    {"stats",
     "talery-tool stats [--points 积分] [--password 密码 | --password-file 文件] 文件\n"
     "    写出程序为这篇文本显示的当前字数和字数统计（UTF-8）；默认积分 0\n",
     runStats},
};

}  // namespace

std::string usageText() {
    std::string out = "用法：\n";
    for (const Command& c : kCommands) out += c.usage;
    out +=
        "文件和密码文件可以是普通文件、管道或FIFO，- 表示标准输入。密码按UTF-8给出，不给出就是空密码。\n"
        "退出码：0 完成；1 文件或系统错误；2 命令行用法错误；3 不是文本或密码可能不正确\n";
    return out;
}

}  // namespace talery::tool

int main(int argc, char** argv) {
    using namespace talery::tool;
    // A closed output pipe is reported like any failed write.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (args.empty()) return usageError("没有给出命令");
        if (args[0] == "--help" || args[0] == "-h") {
            std::cout << usageText();
            return kDone;
        }
        for (const Command& c : kCommands)
            if (args[0] == c.name) return c.run(args);
        return usageError("未知的命令 " + shown(args[0]));
    } catch (const std::bad_alloc&) {
        return fail(kFileError, "内存不足");
    } catch (const std::exception& e) {
        return fail(kFileError, std::string("内部错误：") + e.what());
    }
}
