// talery-tool stats: prints in UTF-8 what the program shows for the body FILE
// opens to: the status bar's count on the first line, then the statistics
// box, one line per line of it.

#include "aids/text_figures.h"
#include "core/cipher.h"
#include "session/documents.h"
#include "tool_common.h"

#include <charconv>
#include <cstdint>

namespace talery::tool {

int runStats(const std::vector<std::string>& args) {
    long long points = 0;
    PasswordOptions passwordOptions;
    std::optional<std::string> file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        int exitCode = kDone;
        switch (takePasswordOption(args, i, passwordOptions, exitCode)) {
            case OptionTaken::Yes: continue;
            case OptionTaken::Error: return exitCode;
            case OptionTaken::No: break;
        }
        const std::string& a = args[i];
        if (a == "--points") {
            if (i + 1 >= args.size()) return usageError("--points 后面缺少数值");
            const std::string& value = args[++i];
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), points);
            if (ec != std::errc() || end != value.data() + value.size() || points < INT32_MIN || points > INT32_MAX)
                return usageError("--points 需要一个整数");
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("stats 不认识选项 " + shown(a));
        } else {
            if (file) return usageError("只能给出一个文件");
            file = a;
        }
    }
    if (!file) return usageError("没有给出文件");

    FileError error;
    auto bytes = readSmall(*file, std::size_t(1) << 30, &error);
    if (!bytes) return fail(kFileError, "无法读取 " + shown(*file) + "：" + error.reasonUtf8);
    Text body;
    if (extensionOf(*file) == "tlr") {
        int exitCode = kDone;
        auto password = resolvePassword(passwordOptions, exitCode);
        if (!password) return exitCode;
        body = decryptBytes(*bytes, documentKeyText(*password));
        if (!plausibleDecipheredText(body)) return fail(kNotText, "解密后不是GBK文本，密码可能不正确");
    } else {
        auto decoded = decodeTextDocument(*bytes);
        if (!decoded) return fail(kNotText, shown(*file) + " 不是能打开的文本");
        body = std::move(decoded->body);
    }

    const FigureCounts counts = countFigures(body);
    const Text box = statisticsText(textFigures(counts, !body.empty() && body.back() == '\n'), points);
    std::string out = gbkToUtf8Lossy(liveCountText(liveCount(counts))) + "\n";
    for (char c : gbkToUtf8Lossy(box))
        if (c != '\r') out += c;
    out += "\n";
    return writeOut(out) ? kDone : fail(kFileError, "无法写出结果");
}

}  // namespace talery::tool
