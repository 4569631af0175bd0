// Runs the built talery-tool the way a script would and checks its output
// bytes, exit status and messages. Reference ciphertexts: "hello" and "12345"
// under the empty password are 8cad551cc8 and d5fa0a4492 (computed outside
// this code). 中文 is E4 B8 AD E6 96 87 in UTF-8 and D6 D0 CE C4 in GBK.

#include "session/cipher.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using talery::encryptText;

const std::string kPrefix = "mqd517283946";
const std::string kChineseUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4";

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;

    std::vector<std::string> errLines() const {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < err.size()) {
            const auto end = err.find('\n', start);
            if (end == std::string::npos) {
                lines.push_back(err.substr(start));  // an unterminated last line still counts
                break;
            }
            lines.push_back(err.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
};

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "talery-tool-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string p = path(name);
        std::ofstream f(p, std::ios::binary);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    static std::string read(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    Result run(const std::vector<std::string>& args, const std::string& stdoutTarget = {}) const {
        std::string command = shellQuote(TALERY_TOOL);
        for (const auto& a : args) command += " " + shellQuote(a);
        const std::string outPath = stdoutTarget.empty() ? path("stdout") : stdoutTarget;
        command += " >" + shellQuote(outPath) + " 2>" + shellQuote(path("stderr")) + " </dev/null";
        const int status = std::system(command.c_str());
        Result r;
        if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
        if (stdoutTarget.empty()) r.out = read(outPath);
        r.err = read(path("stderr"));
        return r;
    }

    // The usage text as the tool itself prints it on request.
    std::vector<std::string> usageLines() const {
        Result help = run({"--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.err.empty());
        Result asErr;
        asErr.err = help.out;
        return asErr.errLines();
    }

    // A usage error: a non-zero exit, nothing on stdout, one clear line on
    // stderr naming the problem, then exactly the usage lines.
    void expectUsageError(const std::vector<std::string>& args, const std::string& mentions) const {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = run(args);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.out.empty());
        const auto lines = r.errLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("talery-tool: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(mentions), std::string::npos) << lines[0];
        const auto usage = usageLines();
        ASSERT_FALSE(usage.empty());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), usage);
    }

    // Any other failure: a non-zero exit, nothing on stdout, exactly one line on stderr.
    void expectOneLineFailure(const std::vector<std::string>& args, const std::string& mentions) const {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = run(args);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(r.out.empty());
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.back(), '\n');
        const auto lines = r.errLines();
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_EQ(lines[0].rfind("talery-tool: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(mentions), std::string::npos) << lines[0];
    }

    fs::path dir_;
};

// A longer GBK body: a wrong key turns it into noise that is not GBK text.
std::string sampleBody() {
    std::string body;
    for (int k = 0; k < 40; ++k) body += kChineseGbk + "abc \r\n";
    return body;
}

TEST_F(ToolTest, DecryptsReferenceVectorsWithEmptyPassword) {
    const std::string hello = write("hello.tlr", "\x8c\xad\x55\x1c\xc8");
    Result r = run({"decrypt", hello});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "hello");
    EXPECT_EQ(r.err, "");

    const std::string digits = write("digits.tlr", "\xd5\xfa\x0a\x44\x92");
    r = run({"decrypt", "--password", "", digits});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "12345");
}

TEST_F(ToolTest, EncryptGivesReferenceVectors) {
    Result r = run({"encrypt", write("hello.txt", "hello")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\x8c\xad\x55\x1c\xc8");
    EXPECT_EQ(r.err, "");

    r = run({"encrypt", "--password", "", write("digits.txt", "12345")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\xd5\xfa\x0a\x44\x92");

    r = run({"encrypt", write("empty.txt", "")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(ToolTest, DecryptsDocumentMadeByEncryptText) {
    const std::string body = sampleBody();
    const std::string file = write("doc.tlr", encryptText(body, kPrefix + "secret"));
    Result r = run({"decrypt", "--password", "secret", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, body);  // raw GBK, CR LF kept
    EXPECT_EQ(r.err, "");

    // Options may follow the file.
    r = run({"decrypt", file, "--password", "secret"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, body);

    r = run({"decrypt", write("empty.tlr", "")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(ToolTest, Utf8OutputConvertsTheText) {
    const std::string file = write("doc.tlr", encryptText(kChineseGbk + "\r\nabc", kPrefix + "pw"));
    Result r = run({"decrypt", "--utf8", "--password", "pw", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kChineseUtf8 + "\r\nabc");
    EXPECT_EQ(r.err, "");
}

TEST_F(ToolTest, ChinesePasswordIsHashedAsGbk) {
    const std::string body = sampleBody();
    const std::string expected = encryptText(body, kPrefix + kChineseGbk);

    Result r = run({"encrypt", "--password", kChineseUtf8, write("plain.txt", body)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);

    r = run({"decrypt", "--password", kChineseUtf8, write("doc.tlr", expected)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, body);
}

TEST_F(ToolTest, PasswordFileLosesOnlyItsFinalLineBreak) {
    const std::string body = sampleBody();
    const std::string doc = write("doc.tlr", encryptText(body, kPrefix + kChineseGbk));
    for (const std::string ending : {"", "\n", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(ending));
        const std::string pwFile = write("pw", kChineseUtf8 + ending);
        Result r = run({"decrypt", "--password-file", pwFile, doc});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, body);

        r = run({"encrypt", "--password-file", pwFile, write("plain.txt", body)});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, encryptText(body, kPrefix + kChineseGbk));
    }
    // Only one line break goes: a second one belongs to the password.
    const std::string twoBreaks = write("pw2", kChineseUtf8 + "\n\n");
    const std::string withBreak = write("doc2.tlr", encryptText(body, kPrefix + kChineseGbk + "\n"));
    Result r = run({"decrypt", "--password-file", twoBreaks, withBreak});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, body);
    expectOneLineFailure({"decrypt", "--password-file", twoBreaks, doc}, "密码");
}

TEST_F(ToolTest, EncryptThenDecryptGivesTheFileBack) {
    const std::string body = sampleBody();
    const std::string plain = write("plain.txt", body);
    const std::string cipher = path("doc.tlr");
    Result r = run({"encrypt", "--password", "x y", plain}, cipher);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(read(cipher), body);
    EXPECT_EQ(read(cipher).size(), body.size());

    r = run({"decrypt", "--password", "x y", cipher});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, body);
}

TEST_F(ToolTest, DoubleDashEndsOptions) {
    const std::string dashed = write("-d.tlr", "\x8c\xad\x55\x1c\xc8");
    Result r = run({"decrypt", "--", dashed});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "hello");

    // After "--" every argument is a file name, even one that looks like an option.
    expectOneLineFailure({"decrypt", "--", "--utf8"}, "无法读取 '--utf8'");
    expectUsageError({"decrypt", "--", dashed, "--utf8"}, "不止一个文件");
    expectUsageError({"decrypt", "--"}, "没有给出文件");
}

TEST_F(ToolTest, UsageErrorsGiveOneLineThenUsage) {
    const std::string doc = write("doc.tlr", "\x8c\xad\x55\x1c\xc8");
    expectUsageError({}, "没有给出命令");
    expectUsageError({"frobnicate", doc}, "frobnicate");
    expectUsageError({"decrypt", "--bogus", doc}, "--bogus");
    expectUsageError({"decrypt", "--utf8", "--raw", doc}, "--raw");
    expectUsageError({"decrypt", doc, "--password"}, "--password");
    expectUsageError({"decrypt", doc, "--password-file"}, "--password-file");
    expectUsageError({"decrypt", doc, doc}, "不止一个文件");
    expectUsageError({"decrypt", "--password", "a", "--password", "b", doc}, "密码");
    expectUsageError({"decrypt", "--password", "a", "--password-file", doc, doc}, "密码");
    expectUsageError({"decrypt"}, "没有给出文件");
    expectUsageError({"encrypt", "--password", "a"}, "没有给出文件");
}

TEST_F(ToolTest, FileProblemsGiveOneLine) {
    expectOneLineFailure({"decrypt", path("missing.tlr")}, "missing.tlr");
    expectOneLineFailure({"encrypt", path("missing.txt")}, "missing.txt");
    fs::create_directory(path("folder.tlr"));
    expectOneLineFailure({"decrypt", path("folder.tlr")}, "folder.tlr");
    const std::string doc = write("doc.tlr", "\x8c\xad\x55\x1c\xc8");
    expectOneLineFailure({"decrypt", "--password-file", path("nopw"), doc}, "nopw");
    // A name with a line break in it must not split the message.
    expectOneLineFailure({"decrypt", path("two\nlines.tlr")}, "lines.tlr");
}

TEST_F(ToolTest, WrongPasswordIsRefused) {
    const std::string doc = write("doc.tlr", encryptText(sampleBody(), kPrefix + "right"));
    expectOneLineFailure({"decrypt", "--password", "wrong", doc}, "密码");
    expectOneLineFailure({"decrypt", doc}, "密码");
    expectOneLineFailure({"decrypt", "--utf8", "--password", "wrong", doc}, "密码");
    // A NUL in the deciphered bytes is not text either.
    const std::string nul = write("nul.tlr", encryptText(std::string("ab\0cd", 5), kPrefix));
    expectOneLineFailure({"decrypt", nul}, "空字节");
    EXPECT_EQ(run({"decrypt", nul}).exitCode, 3);
}

TEST_F(ToolTest, PasswordsGbkCannotTakeAreRefused) {
    const std::string doc = write("doc.tlr", "\x8c\xad\x55\x1c\xc8");
    // Raw GBK bytes are not UTF-8; 한 (ED 95 9C) has no GBK code.
    expectOneLineFailure({"decrypt", "--password", kChineseGbk, doc}, "UTF-8");
    expectOneLineFailure({"encrypt", "--password", "\xED\x95\x9C", doc}, "GBK");
    expectOneLineFailure({"decrypt", "--password-file", write("pw", "\xED\x95\x9C\n"), doc}, "GBK");
}

TEST_F(ToolTest, FailedOutputIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string plain = write("plain.txt", sampleBody());
    const Result r = run({"encrypt", plain}, "/dev/full");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.errLines().size(), 1u) << r.err;
}

}  // namespace
