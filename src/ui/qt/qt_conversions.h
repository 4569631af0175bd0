#pragma once
// Conversions the Qt window's files share: GBK from the toolkit's strings,
// and the logic's colours on widgets.

#include "core/colour.h"
#include "core/text.h"

#include <QColor>
#include <QPalette>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <string_view>

class QWidget;

namespace talery {

// UTF-16 of the toolkit as GBK, appended to `out`, line breaks as CR LF;
// `document` also turns the body's own separators and no-break spaces.
void appendGbk(QStringView text, bool document, Text& out);

// The block of `gbkText` from `from` of about `bytes`, ending behind a line
// feed (never inside a character nor between CR and LF), as the toolkit's
// string with its line breaks; `from` moves behind it.
QString toQtBlock(std::string_view gbkText, std::size_t& from, std::size_t bytes);

// A long text read once from front to back, whose pages go back to the
// system as the reading passes them: a novel converted for the toolkit is
// then not held twice. The bytes given back read as zero.
class ConsumedText {
public:
    explicit ConsumedText(Text& text) : text_(text) {}
    void giveBackBefore(std::size_t offset);

private:
    Text& text_;
    std::size_t givenBack_ = 0;
};

QColor qcolour(Colour c);
Colour colourFromQt(const QColor& c);
void setPaletteColour(QWidget* w, QPalette::ColorRole role, Colour c);

}  // namespace talery
