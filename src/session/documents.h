#pragma once
// Documents on disk: which format a path gets, how a plain-text file is read
// into the body and written back, and what a save would put on disk.

#include "core/files.h"
#include "core/text.h"
#include "core/cipher.h"

#include <functional>
#include <optional>
#include <string>

namespace talery {

// How the file a session is bound to stores its text. New texts are GBK with
// CR LF; a file opened in another encoding or with other line breaks is
// written back the way it came. Encrypted documents are always GBK inside,
// but keep their line breaks too.
struct DocumentFormat {
    enum class Encoding { Gbk, Utf8, Utf8Bom, Utf16LeBom, Utf16BeBom };
    enum class LineBreaks { CrLf, Lf, Cr };
    Encoding encoding = Encoding::Gbk;
    LineBreaks lineBreaks = LineBreaks::CrLf;
    friend bool operator==(const DocumentFormat&, const DocumentFormat&) = default;
};

// The body always holds CR LF. A text whose breaks are all of one kind keeps
// that kind; one that mixes kinds (a lone CR next to CR LF, "\r\r\n") is
// unified to CR LF, and `mixed` says so.
struct NormalisedBreaks {
    Text text;
    DocumentFormat::LineBreaks style = DocumentFormat::LineBreaks::CrLf;
    bool mixed = false;
};
NormalisedBreaks normaliseLineBreaks(std::string_view text);
// Whether every line break of the text is CR LF, as the body holds them.
bool breaksAreCrLf(std::string_view text);
// The same, taking over the text where it needs no change (no second copy of a large file).
NormalisedBreaks normaliseLineBreaks(std::string&& text);
// The body's CR LF breaks written in the given style.
std::string applyLineBreaks(std::string_view body, DocumentFormat::LineBreaks style);
std::string applyLineBreaks(std::string&& body, DocumentFormat::LineBreaks style);

// A save encrypts when the path's extension is "tlr" (case-sensitive), the
// same test that opens a file as an encrypted document.
bool isEncryptedPath(std::string_view path);
// The text after the last "." of the path, the whole path when there is none.
std::string extensionOf(std::string_view path);

struct DecodedText {
    Text body;               // GBK with CR LF line breaks
    DocumentFormat format;
    bool mixedLineBreaks = false;  // the file's breaks were unified to CR LF
};

enum class DecodeProblem { None, ContainsNul, UnknownEncoding, NotRepresentable, Utf16WithoutBom };

// Reads a plain-text document: a UTF-16 or UTF-8 byte-order mark names the
// encoding; bytes valid only as UTF-8 (with multi-byte sequences) are UTF-8,
// bytes valid only as GBK are GBK, and bytes valid as both are GBK when
// that reading is the more plausible Chinese text (short GBK words often
// form valid UTF-8 by chance, as Cyrillic or Latin symbols). Anything that could not be written back unchanged
// is refused.
std::optional<DecodedText> decodeTextDocument(std::string_view bytes, DecodeProblem* problem = nullptr);
// The same, taking over the bytes: a GBK file becomes the body without a copy.
// `between` runs between its passes over a long text; `beforeChange` once,
// before the bytes are changed or let go (until then others may read them
// alongside).
std::optional<DecodedText> decodeTextDocumentTaking(std::string&& bytes, DecodeProblem* problem = nullptr,
                                                    const std::function<void()>& between = {},
                                                    const std::function<void()>& beforeChange = {});

// The bytes a plain-text save writes for the body in the given format. Given
// the body to keep, a GBK body with CR LF breaks is passed through uncopied.
std::string encodeTextDocument(const Text& body, const DocumentFormat& format);
std::string encodeTextDocument(Text&& body, const DocumentFormat& format);

// Everything a save to `path` would write: the enciphered body for an
// encrypted path, the encoded body otherwise. The close-time check compares
// this with the file.
std::string documentBytesFor(const Text& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText);
std::string documentBytesFor(Text&& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText);

// The same bytes produced a slice at a time, so that a long body is never
// whole in memory twice: slices of whole body characters, in order. The first
// call also gives what the format puts in front (a byte-order mark).
class DocumentEncoder {
public:
    DocumentEncoder(std::string_view path, const DocumentFormat& format, std::string_view keyText);
    std::string next(std::string&& slice);

private:
    DocumentFormat format_;
    std::optional<Rc4> cipher_;  // set for an encrypted path
    bool started_ = false;
};

// Whether deciphered bytes can be a body: no NUL, valid GBK (checked in
// blocks, `between` running after each).
bool plausibleDecipheredText(std::string_view bytes, const std::function<void()>& between = {});

// Whether bytes with multi-byte UTF-8 sequences read at least as well as
// UTF-8 as they do as GBK.
bool utf8ReadsBetterThanGbk(std::string_view bytes);

}  // namespace talery
