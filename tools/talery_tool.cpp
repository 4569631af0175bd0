// talery-tool: read and write encrypted Talery documents from the command line.
//
//   talery-tool decrypt [--password TEXT | --password-file FILE] [--utf8] FILE.tlr
//   talery-tool encrypt [--password TEXT | --password-file FILE] FILE
//   talery-tool stats [--points N] [--password TEXT | --password-file FILE] FILE

#include "core/files.h"
#include "core/text.h"
#include "session/cipher.h"
#include "session/documents.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace talery;

constexpr int kUsageError = 2;
constexpr int kFileError = 1;
constexpr int kWrongPassword = 3;

const char* const kUsage =
    "usage: talery-tool decrypt [--password TEXT | --password-file FILE] [--utf8] FILE.tlr\n"
    "       talery-tool encrypt [--password TEXT | --password-file FILE] FILE\n"
    "       talery-tool stats [--points N] [--password TEXT | --password-file FILE] FILE\n";

int fail(int code, const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n";
    return code;
}

// Wrong command lines: the problem on one line, then how to call the tool.
int usageError(const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n" << kUsage;
    return kUsageError;
}

// A name as it appears in a message: control bytes would break the one-line
// message (or drive the terminal), so they show as "?".
std::string shown(std::string_view name) {
    std::string out = "'";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7F) ? '?' : c;
    }
    return out + "'";
}

bool writeOut(std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
}

// The password as GBK: the command line and password files are UTF-8.
std::optional<Text> passwordToGbk(std::string_view utf8, std::string& problem) {
    auto wide = decodeUtf8(utf8);
    if (!wide) {
        problem = "the password is not valid UTF-8";
        return std::nullopt;
    }
    auto bytes = encodeGbk(*wide);
    if (!bytes) {
        problem = "the password holds characters that GBK cannot represent";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

namespace talery {
int statsCommand(const std::vector<std::string>& args, const char* usage);  // tools/stats_command.cpp
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const std::string command = args[0];
    if (command == "stats") return talery::statsCommand(args, kUsage);
    if (command != "decrypt" && command != "encrypt") return usageError("unknown command " + shown(command));

    std::optional<std::string> passwordUtf8;
    std::optional<std::string> passwordFile;
    bool utf8Output = false;
    bool optionsEnded = false;  // after "--" every argument is a file name
    std::optional<std::string> file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && (a == "--password" || a == "--password-file")) {
            if (i + 1 >= args.size()) return usageError(a + " needs a value");
            if (passwordUtf8 || passwordFile) return usageError("give the password only once");
            (a == "--password" ? passwordUtf8 : passwordFile) = args[++i];
        } else if (!optionsEnded && a == "--utf8" && command == "decrypt") {
            utf8Output = true;
        } else if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + shown(a));
        } else {
            if (file) return usageError("more than one file given");
            file = a;
        }
    }
    if (!file) return usageError("no file given");

    if (passwordFile) {
        FileError error;
        auto content = readWholeFile(*passwordFile, &error);
        if (!content)
            return fail(kFileError, "cannot read password file " + shown(*passwordFile) + ": " + error.reasonUtf8);
        // One final line break is the editor's, not the password's.
        if (!content->empty() && content->back() == '\n') content->pop_back();
        if (!content->empty() && content->back() == '\r') content->pop_back();
        passwordUtf8 = *content;
    }
    std::string problem;
    auto password = passwordToGbk(passwordUtf8.value_or(""), problem);
    if (!password) return fail(kUsageError, problem);

    FileError error;
    auto input = readWholeFile(*file, &error);
    if (!input) return fail(kFileError, "cannot read " + shown(*file) + ": " + error.reasonUtf8);

    const std::string keyText = documentKeyText(*password);
    if (command == "encrypt") return writeOut(encryptText(*input, keyText)) ? 0 : fail(kFileError, "cannot write output");

    const std::string plain = decryptBytes(*input, keyText);
    if (!plausibleDecipheredText(plain))
        return fail(kWrongPassword, shown(*file) + " does not decipher to GBK text: the password is probably wrong");
    const std::string out = utf8Output ? gbkToUtf8Lossy(plain) : plain;
    return writeOut(out) ? 0 : fail(kFileError, "cannot write output");
}
