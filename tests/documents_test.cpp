// Byte values written out here are the standard encodings, not taken from the
// code: UTF-8 中 E4 B8 AD, 文 E6 96 87, 日 E6 97 A5, 记 E8 AE B0, 档 E6 A1 A3;
// GBK 中 D6 D0, 文 CE C4, 日 C8 D5, 记 BC C7, 档 B5 B5, 第 B5 DA, 一 D2 BB,
// 章 D5 C2, é A8 A6. The ciphertext 8cad551cc8 is RC4 of "hello" under the
// key derived from "mqd517283946", computed outside this code.

#include "core/cipher.h"
#include "session/documents.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace talery;
using namespace std::string_literals;

namespace {

using Enc = DocumentFormat::Encoding;
constexpr auto CrLf = DocumentFormat::LineBreaks::CrLf;
constexpr auto Lf = DocumentFormat::LineBreaks::Lf;
constexpr auto Cr = DocumentFormat::LineBreaks::Cr;

const std::string kBom = "\xEF\xBB\xBF";

TEST(DocumentPaths, EncryptedByTheTlrExtensionAloneCaseSensitive) {
    EXPECT_TRUE(isEncryptedPath("/d/x.tlr"));
    EXPECT_TRUE(isEncryptedPath("x.tlr"));
    EXPECT_TRUE(isEncryptedPath("/d/a.txt.tlr"));
    EXPECT_TRUE(isEncryptedPath("\xE6\x96\x87\xE6\xA1\xA3.tlr"));  // 文档.tlr
    // ".tlr" elsewhere never enciphers a text file.
    EXPECT_FALSE(isEncryptedPath("/d/x.tlr.bak/a.txt"));
    EXPECT_FALSE(isEncryptedPath("/d/\xE6\x97\xA7.tlr\xE5\xA4\x87/a.txt"));  // 旧.tlr备/a.txt
    EXPECT_FALSE(isEncryptedPath("/d/diary.tlr.txt"));
    EXPECT_FALSE(isEncryptedPath("/d/a.tlrx"));
    EXPECT_FALSE(isEncryptedPath("/d/x.tlr/a"));
    EXPECT_FALSE(isEncryptedPath("a.TLR"));
    EXPECT_FALSE(isEncryptedPath("a.Tlr"));
    EXPECT_FALSE(isEncryptedPath("/d/a.txt"));
    EXPECT_FALSE(isEncryptedPath("/d/tlr"));
    EXPECT_FALSE(isEncryptedPath(""));
}

TEST(DocumentPaths, ExtensionIsTextAfterLastDot) {
    EXPECT_EQ(extensionOf("a.txt"), "txt");
    EXPECT_EQ(extensionOf("a.TXT"), "TXT");
    EXPECT_EQ(extensionOf("/d/b.tar.tlr"), "tlr");
    EXPECT_EQ(extensionOf("a."), "");
    EXPECT_EQ(extensionOf("README"), "README");
    EXPECT_EQ(extensionOf(""), "");
    EXPECT_EQ(extensionOf("C:\\\xE6\x96\x87.txt"), "txt");
}

TEST(DocumentPaths, TitleIsFileNameUpToFirstDotInGbk) {
    // C:\文档\日记.2015.txt
    EXPECT_EQ(titleFromPath("C:\\\xE6\x96\x87\xE6\xA1\xA3\\\xE6\x97\xA5\xE8\xAE\xB0.2015.txt"), "\xC8\xD5\xBC\xC7");
    // /书/第一章.草稿.txt
    EXPECT_EQ(titleFromPath("/\xE4\xB9\xA6/\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0.\xE8\x8D\x89\xE7\xA8\xBF.txt"),
              "\xB5\xDA\xD2\xBB\xD5\xC2");
    EXPECT_EQ(titleFromPath("/a/.hidden.txt"), "");
    EXPECT_EQ(titleFromPath("plain"), "plain");
    EXPECT_EQ(titleFromPath("notes.txt"), "notes");
    EXPECT_EQ(titleFromPath("/a.b/c"), "c");          // a dot in a folder name is not the title's
    EXPECT_EQ(titleFromPath("/a/b\\c.d/e.txt"), "e");  // both separators count
    EXPECT_EQ(titleFromPath("/a/"), "");
}

TEST(DocumentPaths, TitleReplacesWhatGbkCannotHold) {
    // 한 (U+D55C, ED 95 9C) and 😀 (U+1F600, F0 9F 98 80) are not in GBK: one "?" each.
    EXPECT_EQ(titleFromPath("/x/\xED\x95\x9C\xE4\xB8\xAD.txt"), "?\xD6\xD0");
    EXPECT_EQ(titleFromPath("/x/a\xF0\x9F\x98\x80" "b.txt"), "a?b");
}

struct Accepted {
    const char* name;
    std::string file;
    std::string body;
    DocumentFormat format;
};

std::vector<Accepted> acceptedFiles() {
    return {
        {"empty", "", "", {Enc::Gbk, CrLf}},
        {"ascii", "abc def", "abc def", {Enc::Gbk, CrLf}},
        {"gbk crlf", "\xD6\xD0\xCE\xC4\r\nabc\r\n", "\xD6\xD0\xCE\xC4\r\nabc\r\n", {Enc::Gbk, CrLf}},
        {"gbk lf only", "\xD6\xD0\n\xCE\xC4\n", "\xD6\xD0\r\n\xCE\xC4\r\n", {Enc::Gbk, Lf}},
        {"ascii lf only", "a\n\nb", "a\r\n\r\nb", {Enc::Gbk, Lf}},
        {"lone cr only", "a\rb\r", "a\r\nb\r\n", {Enc::Gbk, Cr}},
        {"gbk cr only", "\xD6\xD0\r\r\xCE\xC4", "\xD6\xD0\r\n\r\n\xCE\xC4", {Enc::Gbk, Cr}},
        {"utf8 crlf", "\xE4\xB8\xAD\xE6\x96\x87\r\nx", "\xD6\xD0\xCE\xC4\r\nx", {Enc::Utf8, CrLf}},
        {"utf8 lf only", "\xE4\xB8\xAD\n\n", "\xD6\xD0\r\n\r\n", {Enc::Utf8, Lf}},
        {"utf8 bom", kBom + "\xE4\xB8\xAD\r\nx", "\xD6\xD0\r\nx", {Enc::Utf8Bom, CrLf}},
        {"utf8 bom lf only", kBom + "\xE6\x96\x87\nx\n", "\xCE\xC4\r\nx\r\n", {Enc::Utf8Bom, Lf}},
        {"utf8 bom ascii", kBom + "abc", "abc", {Enc::Utf8Bom, CrLf}},
        {"utf8 bom alone", kBom, "", {Enc::Utf8Bom, CrLf}},
        // C3 A9 is also valid GBK, but valid UTF-8 with a multi-byte sequence wins.
        {"utf8 also valid gbk", "caf\xC3\xA9", "caf\xA8\xA6", {Enc::Utf8, CrLf}},
    };
}

TEST(DocumentDecode, AcceptedFilesGiveGbkCrLfBodyAndFormat) {
    for (const auto& c : acceptedFiles()) {
        SCOPED_TRACE(c.name);
        DecodeProblem problem = DecodeProblem::ContainsNul;
        auto decoded = decodeTextDocument(c.file, &problem);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(problem, DecodeProblem::None);
        EXPECT_EQ(decoded->body, c.body);
        EXPECT_EQ(decoded->format.encoding, c.format.encoding);
        EXPECT_EQ(decoded->format.lineBreaks, c.format.lineBreaks);
        EXPECT_FALSE(decoded->mixedLineBreaks);
    }
}

TEST(DocumentDecode, SavingBackWritesTheOriginalBytes) {
    for (const auto& c : acceptedFiles()) {
        SCOPED_TRACE(c.name);
        auto decoded = decodeTextDocument(c.file);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(encodeTextDocument(decoded->body, decoded->format), c.file);
        EXPECT_EQ(documentBytesFor(decoded->body, "/d/a.txt", decoded->format, "mqd517283946"), c.file);
    }
}

TEST(DocumentDecode, EveryCharacterGbkHoldsSurvivesUtf8OpenAndSave) {
    // One UTF-8 file holding every character below U+10000 that GBK can hold,
    // each between ASCII letters so that single-byte GBK codes (the euro at
    // 0x80) sit next to double-byte ones.
    std::u16string all;
    std::size_t count = 0;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (!gbkCanHold(c)) continue;
        all += static_cast<char16_t>(c);
        all += u'a';
        ++count;
    }
    EXPECT_GT(count, 21000u);  // GBK holds over 21 000 characters
    const std::string file = encodeUtf8(all);
    DecodeProblem problem = DecodeProblem::None;
    auto decoded = decodeTextDocument(file, &problem);
    ASSERT_TRUE(decoded.has_value()) << static_cast<int>(problem);
    EXPECT_EQ(decoded->format.encoding, Enc::Utf8);
    EXPECT_EQ(encodeTextDocument(decoded->body, decoded->format), file);
    auto bom = decodeTextDocument(kBom + file);
    ASSERT_TRUE(bom.has_value());
    EXPECT_EQ(encodeTextDocument(bom->body, bom->format), kBom + file);
}

TEST(DocumentDecode, RefusesWhatCannotBeWrittenBackUnchanged) {
    struct Refused {
        const char* name;
        std::string file;
        DecodeProblem problem;
    };
    const std::vector<Refused> cases = {
        {"nul in ascii", "ab\0c"s, DecodeProblem::ContainsNul},
        {"nul at end", "abc\0"s, DecodeProblem::ContainsNul},
        {"nul in utf8 bom", kBom + "\xE4\xB8\xAD\0"s, DecodeProblem::ContainsNul},
        {"nul in gbk", "\xD6\xD0\0\xCE\xC4"s, DecodeProblem::ContainsNul},
        {"truncated gbk lead", "ab\xD6", DecodeProblem::UnknownEncoding},
        {"bad gbk trail", "\x81\x20x", DecodeProblem::UnknownEncoding},
        {"bom then gbk", kBom + "\xD6\xD0\xCE\xC4", DecodeProblem::UnknownEncoding},
        {"utf8 hangul", "\xED\x95\x9C\xE4\xB8\xAD", DecodeProblem::NotRepresentable},
        {"utf8 emoji", "a\xF0\x9F\x98\x80", DecodeProblem::NotRepresentable},
        {"bom then emoji", kBom + "\xF0\x9F\x98\x80", DecodeProblem::NotRepresentable},
        {"second bom inside", kBom + "a" + kBom, DecodeProblem::NotRepresentable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeProblem problem = DecodeProblem::None;
        EXPECT_FALSE(decodeTextDocument(c.file, &problem).has_value());
        EXPECT_EQ(problem, c.problem);
        EXPECT_FALSE(decodeTextDocument(c.file).has_value());  // no report asked for
    }
}

TEST(DocumentDecode, MixedLineBreaksAreUnifiedToCrLfAndReported) {
    for (std::string file : {"a\r\nb\nc"s, "a\rb\nc\n"s, "a\r\r\nb\r\n"s, "\xD6\xD0\r\xCE\xC4\n"s}) {
        SCOPED_TRACE(file);
        auto decoded = decodeTextDocument(file);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_TRUE(decoded->mixedLineBreaks);
        EXPECT_EQ(decoded->format.lineBreaks, CrLf);
        EXPECT_EQ(decoded->body.find('\n'), decoded->body.find("\r\n") + 1);
        EXPECT_EQ(normaliseLineBreaks(decoded->body).mixed, false);
    }
    EXPECT_EQ(decodeTextDocument("a\r\r\nb")->body, "a\r\n\r\nb");
}

// Every arrangement of breaks up to six bytes, beside a byte-by-byte
// reading: a CR LF pair is one break, any other CR or LF is one of its own.
TEST(DocumentDecode, LineBreaksAgreeWithAByteByByteReading) {
    const char alphabet[] = {'a', '\r', '\n'};
    for (int length = 0; length <= 6; ++length) {
        int count = 1;
        for (int i = 0; i < length; ++i) count *= 3;
        for (int n = 0; n < count; ++n) {
            std::string text;
            for (int i = 0, rest = n; i < length; ++i, rest /= 3) text += alphabet[rest % 3];
            std::string expected;
            int crlf = 0, lf = 0, cr = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == 'a') {
                    expected += 'a';
                    continue;
                }
                expected += "\r\n";
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                    ++crlf;
                    ++i;
                } else {
                    ++(text[i] == '\r' ? cr : lf);
                }
            }
            SCOPED_TRACE(text);
            const NormalisedBreaks got = normaliseLineBreaks(text);
            EXPECT_EQ(got.text, expected);
            EXPECT_EQ(got.mixed, (crlf > 0) + (lf > 0) + (cr > 0) > 1);
            if ((crlf > 0) + (lf > 0) + (cr > 0) == 1) {
                EXPECT_EQ(got.style, lf ? Lf : cr ? Cr : CrLf);
            }
        }
    }
}

// GBK text that is also valid UTF-8 reads as GBK when the UTF-8 reading is
// not Chinese; real UTF-8 Chinese, and Latin words with accents, stay UTF-8.
TEST(DocumentDecode, TextValidInBothEncodingsReadsAsThePlausibleOne) {
    struct Case {
        std::string file;
        Enc encoding;
    };
    const std::vector<Case> cases = {
        {"\xD0\xBB\xD0\xBB", Enc::Gbk},          // 谢谢 (UTF-8 would be Cyrillic)
        {"\xD0\xA1\xCB\xB5", Enc::Gbk},          // 小说
        {"\xC4\xBF\xC2\xBC", Enc::Gbk},          // 目录
        {"\xD1\xA7\xCF\xB0", Enc::Gbk},          // 学习
        {"abc\xC4\xBF\xC2\xBC\r\n", Enc::Gbk}, // 目录 between Latin letters
        {"\xE4\xB8\xAD\xE6\x96\x87", Enc::Utf8},  // 中文
        {"\xE4\xB8\xAD\xE6\x96\x87\xE6\x97\xA5\xE8\xAE\xB0", Enc::Utf8},  // 中文日记
        {"caf\xC3\xA9", Enc::Utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto decoded = decodeTextDocument(c.file);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->format.encoding, c.encoding);
        if (c.encoding == Enc::Gbk) {
            EXPECT_EQ(decoded->body, c.file);
        }
        EXPECT_EQ(encodeTextDocument(decoded->body, decoded->format), c.file);
    }
}

TEST(DocumentDecode, Utf16WithMarkRoundTripsWithoutMarkIsRefused) {
    // 中文 CR LF "a": U+4E2D U+6587 U+000D U+000A U+0061.
    const std::string le = "\xFF\xFE\x2D\x4E\x87\x65\x0D\x00\x0A\x00\x61\x00"s;
    const std::string be = "\xFE\xFF\x4E\x2D\x65\x87\x00\x0D\x00\x0A\x00\x61"s;
    for (const auto& [file, enc] : {std::pair{le, Enc::Utf16LeBom}, std::pair{be, Enc::Utf16BeBom}}) {
        auto decoded = decodeTextDocument(file);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->format.encoding, enc);
        EXPECT_EQ(decoded->body, "\xD6\xD0\xCE\xC4\r\na");
        EXPECT_EQ(encodeTextDocument(decoded->body, decoded->format), file);
    }
    // LF breaks in UTF-16 are kept too.
    const std::string lf = "\xFF\xFE\x61\x00\x0A\x00\x62\x00"s;
    EXPECT_EQ(encodeTextDocument(decodeTextDocument(lf)->body, decodeTextDocument(lf)->format), lf);

    DecodeProblem problem = DecodeProblem::None;
    EXPECT_FALSE(decodeTextDocument(le.substr(2), &problem));
    EXPECT_EQ(problem, DecodeProblem::Utf16WithoutBom);
    EXPECT_FALSE(decodeTextDocument(be.substr(2), &problem));
    EXPECT_EQ(problem, DecodeProblem::Utf16WithoutBom);
    EXPECT_FALSE(decodeTextDocument("\xFF\xFE\x3D\xD8"s, &problem));  // lone surrogate
    EXPECT_EQ(problem, DecodeProblem::UnknownEncoding);
    EXPECT_FALSE(decodeTextDocument("\xFF\xFE\x61\x00\x00\x00"s, &problem));  // a NUL character
    EXPECT_EQ(problem, DecodeProblem::ContainsNul);
    EXPECT_FALSE(decodeTextDocument("\xFF\xFE\x3C\xD5"s, &problem));  // 한 is not GBK
    EXPECT_EQ(problem, DecodeProblem::NotRepresentable);
}

TEST(DocumentEncode, WritesBodyInTheRequestedFormat) {
    const Text body = "\xD6\xD0\r\nx\r\n";
    EXPECT_EQ(encodeTextDocument(body, {}), body);
    EXPECT_EQ(encodeTextDocument(body, {Enc::Gbk, Lf}), "\xD6\xD0\nx\n");
    EXPECT_EQ(encodeTextDocument(body, {Enc::Utf8, CrLf}), "\xE4\xB8\xAD\r\nx\r\n");
    EXPECT_EQ(encodeTextDocument(body, {Enc::Utf8, Lf}), "\xE4\xB8\xAD\nx\n");
    EXPECT_EQ(encodeTextDocument(body, {Enc::Utf8Bom, CrLf}), kBom + "\xE4\xB8\xAD\r\nx\r\n");
    EXPECT_EQ(encodeTextDocument(body, {Enc::Utf8Bom, Lf}), kBom + "\xE4\xB8\xAD\nx\n");
    EXPECT_EQ(encodeTextDocument("", {Enc::Utf8Bom, Lf}), kBom);
}

TEST(DocumentEncode, EncryptedPathGetsCiphertextOfGbkBody) {
    const std::string keyText = "mqd517283946";
    EXPECT_EQ(documentBytesFor("hello", "/d/x.tlr", {}, keyText), "\x8c\xad\x55\x1c\xc8");
    EXPECT_EQ(documentBytesFor("hello", "/d/x.tlr.bak/a.txt", {}, keyText), "hello");
    // The encoding of a text file never applies to an encrypted one (always
    // GBK), its line breaks do.
    const Text body = "\xD6\xD0\r\n";
    const std::string cipher = documentBytesFor(body, "/d/x.tlr", {Enc::Utf8Bom, Lf}, keyText);
    EXPECT_EQ(decryptBytes(cipher, keyText), "\xD6\xD0\n");
    EXPECT_EQ(decryptBytes(documentBytesFor(body, "/d/x.tlr", {Enc::Utf8Bom, CrLf}, keyText), keyText), body);
    EXPECT_EQ(documentBytesFor("", "/d/x.tlr", {}, keyText), "");
    // A path without ".tlr" is plain text, whatever the key.
    EXPECT_EQ(documentBytesFor("hello", "/d/x.TLR", {}, keyText), "hello");
    EXPECT_EQ(documentBytesFor(body, "/d/x.txt", {Enc::Utf8, Lf}, keyText), "\xE4\xB8\xAD\n");
}

TEST(DocumentDecipher, PlausibleOnlyForGbkWithoutNul) {
    EXPECT_TRUE(plausibleDecipheredText(""));
    EXPECT_TRUE(plausibleDecipheredText("hello\r\n"));
    EXPECT_TRUE(plausibleDecipheredText("\xD6\xD0\xCE\xC4"));
    EXPECT_FALSE(plausibleDecipheredText("a\0b"s));
    EXPECT_FALSE(plausibleDecipheredText("\0"s));
    EXPECT_FALSE(plausibleDecipheredText("\xD6\xD0\0"s));
    EXPECT_FALSE(plausibleDecipheredText("ab\xD6"));
    EXPECT_FALSE(plausibleDecipheredText("\x81\x20"));
    // Deciphering under a wrong key gives noise, which must not pass as a body.
    const std::string cipher = encryptText(std::string(300, 'a'), "mqd517283946right");
    EXPECT_FALSE(plausibleDecipheredText(decryptBytes(cipher, "mqd517283946wrong")));
}

}  // namespace

namespace {

// Taking over the bytes gives what reading them through a view gives.
TEST(DocumentBytes, TakenOverBytesDecodeAndEncodeAsViewedOnes) {
    const std::string inputs[] = {"\xB5\xDA\xD2\xBB\r\n\xD5\xC2", "a\nb\n", "a\rb", "a\r\nb\nc", kBom + "\xE4\xB8\xAD\n",
                                  "\xFF\xFE" "a\0\r\0\n\0"s, std::string(100, 'x'), ""};
    for (const std::string& in : inputs) {
        const auto viewed = decodeTextDocument(std::string_view(in));
        const auto taken = decodeTextDocumentTaking(std::string(in));
        ASSERT_EQ(viewed.has_value(), taken.has_value()) << in;
        if (!viewed) continue;
        EXPECT_EQ(viewed->body, taken->body);
        EXPECT_EQ(viewed->format, taken->format);
        EXPECT_EQ(viewed->mixedLineBreaks, taken->mixedLineBreaks);
        for (std::string_view path : {"/d/a.txt", "/d/a.tlr"})
            EXPECT_EQ(documentBytesFor(viewed->body, path, viewed->format, "k"),
                      documentBytesFor(Text(viewed->body), path, viewed->format, "k"));
    }
}

}  // namespace
