#pragma once
// Documents on disk: which format a path gets, how a plain-text file is read
// into the body and written back, and what a save would put on disk.

#include "core/files.h"
#include "core/text.h"

#include <optional>
#include <string>

namespace talery {

// How the file a session is bound to stores its text. New texts and every
// encrypted document are GBK with CR LF; a file opened in another encoding or
// with bare LF line breaks is written back the way it came.
struct DocumentFormat {
    enum class Encoding { Gbk, Utf8, Utf8Bom };
    Encoding encoding = Encoding::Gbk;
    bool lfLineBreaks = false;
    friend bool operator==(const DocumentFormat&, const DocumentFormat&) = default;
};

// A save encrypts when the path contains ".tlr" anywhere (case-sensitive).
// Paths here are UTF-8, where an ASCII byte never sits inside another character.
bool isEncryptedPath(std::string_view path);
// The text after the last "." of the path, the whole path when there is none.
std::string extensionOf(std::string_view path);
// The file name (after the last "/" or "\") up to its first ".", as GBK.
Text titleFromPath(std::string_view path);

struct DecodedText {
    Text body;               // GBK with CR LF line breaks
    DocumentFormat format;
};

enum class DecodeProblem { None, ContainsNul, UnknownEncoding, NotRepresentable };

// Reads a plain-text document: a UTF-8 BOM, or valid UTF-8 with multi-byte
// sequences, means UTF-8; otherwise the bytes must be GBK. Anything that
// could not be written back unchanged is refused.
std::optional<DecodedText> decodeTextDocument(std::string_view bytes, DecodeProblem* problem = nullptr);

// The bytes a plain-text save writes for the body in the given format.
std::string encodeTextDocument(const Text& body, const DocumentFormat& format);

// Everything a save to `path` would write: the enciphered body for an
// encrypted path, the encoded body otherwise. The close-time check compares
// this with the file.
std::string documentBytesFor(const Text& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText);

// Whether deciphered bytes can be a body: no NUL, valid GBK.
bool plausibleDecipheredText(std::string_view bytes);

}  // namespace talery
