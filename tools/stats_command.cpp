// talery-tool stats [--points N] [--password TEXT | --password-file FILE] FILE
//
// Prints in UTF-8 what the program shows for the body FILE opens to: the
// status bar's count on the first line, then the statistics box, one line per
// line of it.

#include "aids/text_figures.h"
#include "core/files.h"
#include "core/text.h"
#include "session/cipher.h"
#include "session/documents.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace talery {
namespace {

int statsFail(int code, const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n";
    return code;
}

// The password as GBK bytes, from UTF-8 given on the command line or in a file.
std::optional<Text> statsPassword(const std::optional<std::string>& text, const std::optional<std::string>& file,
                                  std::string& problem) {
    std::string utf8 = text.value_or("");
    if (file) {
        FileError error;
        auto content = readWholeFile(*file, &error);
        if (!content) {
            problem = "cannot read password file: " + error.reasonUtf8;
            return std::nullopt;
        }
        if (!content->empty() && content->back() == '\n') content->pop_back();
        if (!content->empty() && content->back() == '\r') content->pop_back();
        utf8 = *content;
    }
    auto wide = decodeUtf8(utf8);
    auto bytes = wide ? encodeGbk(*wide) : std::nullopt;
    if (!bytes) problem = "the password is not UTF-8 text that GBK can represent";
    return bytes;
}

}  // namespace

int statsCommand(const std::vector<std::string>& args, const char* usage) {
    constexpr int kUsageError = 2, kFileError = 1, kWrongPassword = 3;
    auto usageError = [usage](const std::string& line) {
        std::cerr << "talery-tool: " << line << "\n" << usage;
        return kUsageError;
    };
    long long points = 0;
    std::optional<std::string> password, passwordFile, file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--points" || a == "--password" || a == "--password-file") {
            if (i + 1 >= args.size()) return usageError(a + " needs a value");
            const std::string& value = args[++i];
            if (a == "--points") {
                const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), points);
                if (ec != std::errc() || end != value.data() + value.size() || points < INT32_MIN || points > INT32_MAX)
                    return usageError("--points needs a whole number");
            } else {
                if (password || passwordFile) return usageError("give the password only once");
                (a == "--password" ? password : passwordFile) = value;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option for stats");
        } else {
            if (file) return usageError("more than one file given");
            file = a;
        }
    }
    if (!file) return usageError("no file given");

    FileError error;
    auto bytes = readWholeFile(*file, &error);
    if (!bytes) return statsFail(kFileError, "cannot read the file: " + error.reasonUtf8);
    Text body;
    if (extensionOf(*file) == "tlr") {
        std::string problem;
        auto gbkPassword = statsPassword(password, passwordFile, problem);
        if (!gbkPassword) return statsFail(kUsageError, problem);
        body = decryptBytes(*bytes, documentKeyText(*gbkPassword));
        if (!plausibleDecipheredText(body))
            return statsFail(kWrongPassword, "the file does not decipher to GBK text: the password is probably wrong");
    } else {
        auto decoded = decodeTextDocument(*bytes);
        if (!decoded) return statsFail(kFileError, "the file is not text the program can open");
        body = std::move(decoded->body);
    }

    const FigureCounts counts = countFigures(body);
    const Text box = statisticsText(textFigures(counts, !body.empty() && body.back() == '\n'), points);
    std::string out = gbkToUtf8Lossy(liveCountText(liveCount(counts))) + "\n";
    for (char c : gbkToUtf8Lossy(box))
        if (c != '\r') out += c;
    out += "\n";
    const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
    return written ? 0 : statsFail(kFileError, "cannot write output");
}

}  // namespace talery
