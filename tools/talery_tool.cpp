// talery-tool: read and write encrypted Talery documents from the command line.
//
//   talery-tool decrypt [--password TEXT | --password-file FILE] [--utf8] FILE.tlr
//   talery-tool encrypt [--password TEXT | --password-file FILE] FILE

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
    "       talery-tool encrypt [--password TEXT | --password-file FILE] FILE\n";

int fail(int code, const std::string& line) {
    std::cerr << "talery-tool: " << line << "\n";
    return code;
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

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return fail(kUsageError, "no command given\n" + std::string(kUsage));
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const std::string command = args[0];
    if (command != "decrypt" && command != "encrypt") return fail(kUsageError, "unknown command '" + command + "'\n" + kUsage);

    std::optional<std::string> passwordUtf8;
    std::optional<std::string> passwordFile;
    bool utf8Output = false;
    std::optional<std::string> file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--password" || a == "--password-file") {
            if (i + 1 >= args.size()) return fail(kUsageError, a + " needs a value");
            if (passwordUtf8 || passwordFile) return fail(kUsageError, "give the password only once");
            (a == "--password" ? passwordUtf8 : passwordFile) = args[++i];
        } else if (a == "--utf8" && command == "decrypt") {
            utf8Output = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            return fail(kUsageError, "unknown option '" + a + "'\n" + kUsage);
        } else {
            if (a == "--" && i + 1 < args.size()) {
                ++i;
            }
            if (file) return fail(kUsageError, "more than one file given");
            file = args[i];
        }
    }
    if (!file) return fail(kUsageError, "no file given\n" + std::string(kUsage));

    if (passwordFile) {
        FileError error;
        auto content = readWholeFile(*passwordFile, &error);
        if (!content) return fail(kFileError, "cannot read password file '" + *passwordFile + "': " + error.reasonUtf8);
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
    if (!input) return fail(kFileError, "cannot read '" + *file + "': " + error.reasonUtf8);

    const std::string keyText = documentKeyText(*password);
    if (command == "encrypt") return writeOut(encryptText(*input, keyText)) ? 0 : fail(kFileError, "cannot write output");

    const std::string plain = decryptBytes(*input, keyText);
    if (!plausibleDecipheredText(plain))
        return fail(kWrongPassword, "'" + *file + "' does not decipher to GBK text: the password is probably wrong");
    const std::string out = utf8Output ? gbkToUtf8Lossy(plain) : plain;
    return writeOut(out) ? 0 : fail(kFileError, "cannot write output");
}
