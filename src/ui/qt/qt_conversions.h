#pragma once
// Conversions the Qt window's files share: GBK from the toolkit's strings,
// and the logic's colours on widgets.

#include "core/colour.h"
#include "core/text.h"

#include <QColor>
#include <QPalette>
#include <QString>
#include <QStringView>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

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

// A long text handed over to the toolkit, converted block by block (as
// toQtBlock does) on a thread of its own a few blocks ahead of the taker:
// the conversion and the filling of the document run side by side. `text`
// must outlive it.
class ConversionAhead {
public:
    // The first block of about `firstBytes`, the others of about `bytes`;
    // what is converted is given back (asked for by name: the text reads as
    // zeros behind the conversion).
    struct GiveBack {};
    ConversionAhead(Text& text, GiveBack, std::size_t firstBytes, std::size_t bytes);
    // Blocks of about `bytes` from `from` on, the text left as it is.
    ConversionAhead(std::string_view text, std::size_t from, std::size_t bytes);
    ~ConversionAhead();
    ConversionAhead(const ConversionAhead&) = delete;
    ConversionAhead& operator=(const ConversionAhead&) = delete;
    // The next block in order, or nothing at the end.
    std::optional<QString> next();
    // The share of the text the blocks taken so far hold.
    double taken() const;

private:
    std::optional<QString> convert();
    void run();
    ConversionAhead(std::string_view text, std::optional<ConsumedText> consumed, std::size_t from,
                    std::size_t firstBytes, std::size_t bytes);
    const std::string_view text_;
    std::optional<ConsumedText> consumed_;
    const std::size_t start_, firstBytes_, bytes_;
    std::size_t converted_;  // the converting side's own
    std::size_t taken_;      // the taking side's own
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<QString, std::size_t>> ready_;  // a block and where it ends
    bool finished_ = false, stop_ = false;
    std::thread worker_;
};

QColor qcolour(Colour c);
Colour colourFromQt(const QColor& c);
void setPaletteColour(QWidget* w, QPalette::ColorRole role, Colour c);

}  // namespace talery
