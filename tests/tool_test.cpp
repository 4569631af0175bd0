// Runs the built talery-tool the way a script would and checks its output
// bytes, exit status and messages. Reference ciphertexts: "hello" and "12345"
// under the empty password are 8cad551cc8 and d5fa0a4492 (computed outside
// this code). 中文 is E4 B8 AD E6 96 87 in UTF-8 and D6 D0 CE C4 in GBK.

#include "core/cipher.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <span>
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

    // A shell command line; "TOOL" stands for the tool.
    Result shell(std::string line) const {
        for (std::size_t at; (at = line.find("TOOL")) != std::string::npos;) line.replace(at, 4, shellQuote(TALERY_TOOL));
        const std::string command = "{ " + line + " ; } >" + shellQuote(path("stdout")) + " 2>" + shellQuote(path("stderr"));
        const int status = std::system(("bash -c " + shellQuote(command)).c_str());
        Result r;
        if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
        r.out = read(path("stdout"));
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

TEST_F(ToolTest, EncryptTakesOnlyWhatCanBeReadBack) {
    // UTF-8, NUL bytes and binary noise are refused with exit 3 and no output.
    for (const std::string& bytes : {kChineseUtf8 + "abc", std::string("ab\0cd", 5), std::string("\xFF\xFE\x01", 3)}) {
        const std::string file = write("in.txt", bytes);
        Result r = run({"encrypt", file});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.errLines().size(), 1u);
        EXPECT_NE(r.err.find("--raw"), std::string::npos) << r.err;
    }
    // --utf8 converts: the document holds GBK and decrypts back to the UTF-8 text.
    const std::string utf8 = write("u.txt", kChineseUtf8 + "\nabc");
    Result r = run({"encrypt", "--utf8", "--password", "p", utf8}, path("u.tlr"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(read(path("u.tlr")), encryptText(kChineseGbk + "\nabc", kPrefix + "p"));
    r = run({"decrypt", "--utf8", "--password", "p", path("u.tlr")});
    EXPECT_EQ(r.out, kChineseUtf8 + "\nabc");
    // UTF-8 that GBK cannot hold (한) is refused even with --utf8.
    EXPECT_EQ(run({"encrypt", "--utf8", write("k.txt", "\xED\x95\x9C")}).exitCode, 3);
    // --raw takes and gives back every byte.
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    r = run({"encrypt", "--raw", write("all.bin", all + all)}, path("all.tlr"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(read(path("all.tlr")), encryptText(all + all, kPrefix));
    EXPECT_EQ(run({"decrypt", path("all.tlr")}).exitCode, 3);  // not text without --raw
    r = run({"decrypt", "--raw", path("all.tlr")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, all + all);
}

TEST_F(ToolTest, ExitCodesAreDocumentedAndKept) {
    const std::string help = run({"--help"}).out;
    EXPECT_NE(help.find("退出码：0 完成；1 文件或系统错误；2 命令行用法错误；3 不是文本或密码可能不正确"), std::string::npos);
    const std::string doc = write("doc.tlr", encryptText(sampleBody(), kPrefix + "right"));
    EXPECT_EQ(run({"decrypt", "--password", "wrong", doc}).exitCode, 3);
    EXPECT_EQ(run({"decrypt", path("missing.tlr")}).exitCode, 1);
    EXPECT_EQ(run({"decrypt", "--bogus", doc}).exitCode, 2);
    // A bad password file is a file problem, not a usage error.
    EXPECT_EQ(run({"decrypt", "--password-file", path("nopw"), doc}).exitCode, 1);
    EXPECT_EQ(run({"decrypt", "--password-file", write("badpw", "\xD6\xD0"), doc}).exitCode, 1);
    // Messages are Chinese, reasons included.
    const Result r = run({"decrypt", path("missing.tlr")});
    EXPECT_NE(r.err.find("文件或文件夹不存在"), std::string::npos) << r.err;
}

TEST_F(ToolTest, PasswordAndDocumentComeThroughPipesFifosAndStandardInput) {
    const std::string body = sampleBody();
    const std::string doc = write("doc.tlr", encryptText(body, kPrefix + "secret"));
    Result r = shell("printf secret | TOOL decrypt --password-file - " + shellQuote(doc));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, body);

    const std::string fifo = path("pw.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = shell("(printf 'secret\\n' > " + shellQuote(fifo) + " &) ; TOOL decrypt --password-file " + shellQuote(fifo) +
              " " + shellQuote(doc));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, body);

    // The document itself through a pipe, both ways.
    r = shell("cat " + shellQuote(doc) + " | TOOL decrypt --password secret -");
    EXPECT_EQ(r.out, body);
    r = shell("cat " + shellQuote(write("b.txt", body)) + " | TOOL encrypt --password secret -");
    EXPECT_EQ(r.out, read(doc));
    // Not text found late in a pipe: exit 3, and the output is said to be incomplete.
    const std::string late = std::string(3u << 20, 'a') + std::string("\0", 1);
    r = shell("cat " + shellQuote(write("late.txt", late)) + " | TOOL encrypt -");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("不完整"), std::string::npos) << r.err;
    EXPECT_EQ(run({"decrypt", "--password-file", "-", "-"}).exitCode, 2);
}

// The tool reads 1 MiB at a time: a character cut by that edge is carried
// whole into the next block, both ways and in both encodings.
TEST_F(ToolTest, ACharacterAcrossTheReadBlockEdgeComesThroughWhole) {
    const std::size_t block = std::size_t(1) << 20;
    std::string gbkBody = "a", utf8Body = "a";
    while (gbkBody.size() < 2 * block) {
        gbkBody += kChineseGbk.substr(0, 2);
        utf8Body += kChineseUtf8.substr(0, 3);
    }
    // Byte block-1 is a lead byte in GBK; in UTF-8 one more ASCII byte puts
    // the edge after the first byte of a three-byte character.
    ASSERT_EQ((block - 1 - 1) % 2, 0u);
    const std::string utf8Shifted = "b" + utf8Body;
    ASSERT_EQ((block - 1 - 2) % 3, 1u);

    const std::string doc = write("edge.tlr", encryptText(gbkBody, kPrefix + "pw"));
    Result r = run({"decrypt", "--utf8", "--password", "pw", doc});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == utf8Body) << "decrypted text differs";

    r = run({"encrypt", "--utf8", "--password", "pw", write("edge.txt", utf8Shifted)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == encryptText("b" + gbkBody, kPrefix + "pw")) << "enciphered text differs";
}

// A document far larger than the memory the tool may use goes through in
// blocks both ways, under a 300 MB address-space limit.
TEST_F(ToolTest, GigabyteDocumentStreamsUnderAnAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
    // The document is written here in pieces, its text's MD5 kept.
    std::string chunk;
    while (chunk.size() + 10 <= (1u << 20)) chunk += kChineseGbk + "abc \r\n";  // 10 bytes, whole characters
    const auto key = talery::deriveDocumentKey(kPrefix + "pw");
    talery::Rc4 rc4(key);
    talery::Md5 md5;
    std::uint64_t size = 0;
    {
        std::ofstream out(path("big.tlr"), std::ios::binary);
        std::string cipher;
        while (size < 1000000000u) {
            md5.update(chunk);
            cipher = chunk;
            rc4.apply(std::span(reinterpret_cast<std::uint8_t*>(cipher.data()), cipher.size()));
            out.write(cipher.data(), static_cast<std::streamsize>(cipher.size()));
            size += chunk.size();
        }
    }
    std::string expected;
    for (std::uint8_t b : md5.digest()) {
        const char* hex = "0123456789abcdef";
        expected += hex[b >> 4];
        expected += hex[b & 15];
    }
    const std::string limit = "ulimit -v 307200; ";
    Result r = shell(limit + "TOOL decrypt --password pw " + shellQuote(path("big.tlr")) + " | md5sum");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 32), expected);
    // And a wrong password is still refused before any output.
    r = shell(limit + "TOOL decrypt --password wrong " + shellQuote(path("big.tlr")) + " | wc -c");
    EXPECT_EQ(r.out, "0\n");
}

}  // namespace
