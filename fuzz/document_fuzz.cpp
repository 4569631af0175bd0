// Opening a document from arbitrary bytes, as the open command reads a file:
// a plain-text file that opens saves back to the very same bytes (or, when
// its line breaks were mixed, to the same text in one style); an encrypted one deciphers to bytes that encipher
// back to the file, and any text survives encryption and decryption.

#include "fuzz_input.h"
#include "core/cipher.h"
#include "session/documents.h"

#include <string>

using namespace talery;

namespace {

void openAsText(std::string_view bytes) {
    DecodeProblem problem = DecodeProblem::None;
    const auto decoded = decodeTextDocument(bytes, &problem);
    if (!decoded) {
        FUZZ_CHECK(problem != DecodeProblem::None);
        return;
    }
    FUZZ_CHECK(problem == DecodeProblem::None);
    FUZZ_CHECK(isValidGbk(decoded->body));
    const std::string saved = encodeTextDocument(decoded->body, decoded->format);
    FUZZ_CHECK(documentBytesFor(decoded->body, "chapter.txt", decoded->format, keyPrefix) == saved);
    if (!decoded->mixedLineBreaks) {
        FUZZ_CHECK(saved == bytes);
        return;
    }
    // Mixed breaks were unified: the saved file reopens as the same text, now in one style.
    const auto reopened = decodeTextDocument(saved);
    FUZZ_CHECK(reopened && !reopened->mixedLineBreaks && reopened->body == decoded->body);
}

void openAsEncrypted(std::string_view password, std::string_view fileBytes) {
    const std::string keyText = documentKeyText(password);
    const std::string plain = decryptBytes(fileBytes, keyText);
    FUZZ_CHECK(plain.size() == fileBytes.size());
    FUZZ_CHECK(encryptText(plain, keyText) == fileBytes);
    const std::string text = decryptText(fileBytes, keyText);
    FUZZ_CHECK(text == plain.substr(0, plain.find('\0')));
    if (plausibleDecipheredText(plain)) {
        FUZZ_CHECK(text == plain);
        FUZZ_CHECK(documentBytesFor(plain, "chapter.tlr", {}, keyText) == fileBytes);
    }
}

void encryptAndBack(std::string_view password, std::string_view body) {
    const std::string keyText = documentKeyText(password);
    const std::string cipher = encryptText(body, keyText);
    FUZZ_CHECK(cipher.size() == body.size());
    FUZZ_CHECK(decryptBytes(cipher, keyText) == body);
}

// Hashing in pieces gives the digest of the whole.
void hashInPieces(std::string_view bytes, std::size_t cut) {
    cut = bytes.empty() ? 0 : cut % (bytes.size() + 1);
    Md5 h;
    h.update(bytes.substr(0, cut));
    const Md5Digest partial = h.digest();
    h.update(bytes.substr(cut));
    FUZZ_CHECK(h.digest() == md5(bytes));
    FUZZ_CHECK(partial == md5(bytes.substr(0, cut)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::size_t cut = in.byte();
    const std::string password(in.piece());
    const std::string_view bytes = in.rest();

    openAsText(bytes);
    openAsEncrypted(password, bytes);
    encryptAndBack(password, bytes);
    hashInPieces(bytes, cut);
    return 0;
}
