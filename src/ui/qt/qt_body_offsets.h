#pragma once
// Byte offsets in the GBK form of a document and character positions in it,
// computed without converting the document: every character's GBK length is
// known from the character alone. Only the text up to the position is read.

#include <QTextDocument>

#include <cstddef>

namespace talery {

// GBK bytes before a character position (a block break counts as CR LF).
std::size_t gbkOffsetOf(const QTextDocument& document, int position);
// The character position of a byte offset; an offset inside a character or
// inside a CR LF counts as the position behind it.
int positionOfGbkOffset(const QTextDocument& document, std::size_t offset);
// Reads the document ahead of the lookups in steps of a few milliseconds while
// the event loop is idle, so that the first lookup far into a long document
// (Enter at its end) does not read all of it at once.
void keepGbkOffsetsAhead(const QTextDocument& document);

}  // namespace talery
