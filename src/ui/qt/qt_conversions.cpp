#include "ui/qt/qt_conversions.h"

#include "core/files.h"
#include "core/second_thread.h"
#include "ui/qt/qt_window.h"

#include <algorithm>
#include <system_error>
#include <sys/mman.h>
#include <QWidget>

namespace talery {

QColor qcolour(Colour c) { return QColor(red(c), green(c), blue(c)); }
Colour colourFromQt(const QColor& c) { return rgb(c.red(), c.green(), c.blue()); }

void setPaletteColour(QWidget* w, QPalette::ColorRole role, Colour c) {
    QPalette pal = w->palette();
    pal.setColor(role, qcolour(c));
    w->setPalette(pal);
}

namespace {

// GBK into `out`, room for gbkText.size() units, with CR LF and a lone CR
// both made a line break; the units written. Straight into the string that
// keeps them: a novel is converted without a copy of it on the way.
qsizetype decodeInto(std::string_view gbkText, QChar* out) {
    auto* units = reinterpret_cast<char16_t*>(out);
    const std::size_t n = decodeGbkLossy(gbkText, units);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (units[i] == u'\r') {
            units[kept++] = u'\n';
            if (i + 1 < n && units[i + 1] == u'\n') ++i;
        } else {
            units[kept++] = units[i];
        }
    }
    return static_cast<qsizetype>(kept);
}

// One UTF-16 unit per GBK byte at most: room enough, and what a double-byte
// text leaves unused is never touched.
QString decoded(std::string_view gbkText) {
    QString s(static_cast<qsizetype>(gbkText.size()), Qt::Uninitialized);
    s.truncate(decodeInto(gbkText, s.data()));
    return s;
}

}  // namespace

QString toQtBlock(std::string_view gbkText, std::size_t& from, std::size_t bytes) {
    // Blocks end behind a LF, which is never part of a double-byte character
    // nor follows a CR to be parted from it; a longer paragraph is cut
    // between two characters.
    std::size_t end = std::min(from + bytes, gbkText.size());
    if (end < gbkText.size()) {
        const std::size_t lf = gbkText.find('\n', end);
        if (lf != Text::npos && lf - end < bytes) {
            end = lf + 1;
        } else {
            std::size_t at = from;
            while (at < end) at += gbkCharLength(gbkText, at);
            end = std::min(at, gbkText.size());
        }
    }
    QString block = decoded(gbkText.substr(from, end - from));
    from = end;
    return block;
}

QString toQt(std::string_view gbkText) { return decoded(gbkText); }

void ConsumedText::giveBackBefore(std::size_t offset) {
    char* const begin = text_.data();
    char* const from = begin + givenBack_;
    char* const upTo = adviseWholePages(from, begin + std::max(givenBack_, std::min(offset, text_.size())), MADV_DONTNEED);
    if (upTo != from) givenBack_ = static_cast<std::size_t>(upTo - begin);
}

ConversionAhead::ConversionAhead(Text& text, GiveBack, std::size_t firstBytes, std::size_t bytes)
    : ConversionAhead(text, ConsumedText(text), 0, firstBytes, bytes) {}

ConversionAhead::ConversionAhead(std::string_view text, std::size_t from, std::size_t bytes)
    : ConversionAhead(text, std::nullopt, from, bytes, bytes) {}

ConversionAhead::ConversionAhead(std::string_view text, std::optional<ConsumedText> consumed, std::size_t from,
                                 std::size_t firstBytes, std::size_t bytes)
    : text_(text),
      consumed_(std::move(consumed)),
      start_(from),
      firstBytes_(firstBytes),
      bytes_(bytes),
      converted_(from),
      taken_(from) {
    try {
        worker_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: each block is converted when it is asked for.
    }
}

ConversionAhead::~ConversionAhead() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

std::optional<QString> ConversionAhead::convert() {
    if (converted_ >= text_.size()) return std::nullopt;
    QString block = toQtBlock(text_, converted_, converted_ == start_ ? firstBytes_ : bytes_);
    if (consumed_) consumed_->giveBackBefore(converted_);
    return block;
}

void ConversionAhead::run() {
    // A few blocks ahead: enough to keep the taker busy, little to hold.
    constexpr std::size_t kAhead = 3;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || ready_.size() < kAhead; });
            if (stop_) return;
        }
        std::optional<QString> block = convert();
        {
            std::lock_guard lock(mutex_);
            if (block) ready_.emplace_back(std::move(*block), converted_);
            else finished_ = true;
        }
        changed_.notify_all();
        if (!block) return;
    }
}

std::optional<QString> ConversionAhead::next() {
    if (!worker_.joinable()) {
        std::optional<QString> block = convert();
        taken_ = converted_;
        return block;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) return std::nullopt;
    auto [block, end] = std::move(ready_.front());
    ready_.pop_front();
    taken_ = end;
    lock.unlock();
    changed_.notify_all();
    return std::move(block);
}

double ConversionAhead::taken() const {
    return text_.empty() ? 1 : static_cast<double>(taken_) / static_cast<double>(text_.size());
}

// UTF-16 of the toolkit as GBK, line breaks as CR LF. The body's document
// also has its own separators and the no-break space, which become a line
// break and a space. Runs between breaks go to the encoder uncopied.
namespace {

void appendGbkOnThisThread(QStringView text, bool document, Text& out) {
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const auto size = static_cast<std::size_t>(text.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = units[i];
        if ((c > u'\n' && c < 0xA0) || (c > 0x2029 && c < 0xFDD0)) continue;  // most text: nothing to look at
        const bool lineBreak = c == u'\n' || c == QChar::ParagraphSeparator ||
                               (document && (c == QChar::LineSeparator || c == 0xFDD0 || c == 0xFDD1));
        const bool space = document && c == QChar::Nbsp;
        if (!lineBreak && !space) continue;
        appendGbkLossy(std::u16string_view(units + run, i - run), out);
        out += lineBreak ? "\r\n" : " ";
        run = i + 1;
    }
    appendGbkLossy(std::u16string_view(units + run, size - run), out);
}

}  // namespace

void appendGbk(QStringView text, bool document, Text& out) {
    // A whole novel read back (一键排版, a save) is converted in two halves
    // side by side; the converter's tables are safe to share.
    constexpr qsizetype kHalvedFrom = qsizetype(1) << 20;
    if (text.size() < kHalvedFrom) return appendGbkOnThisThread(text, document, out);
    qsizetype middle = text.size() / 2;
    if (text.at(middle).isLowSurrogate()) ++middle;
    Text second;
    auto other = onSecondThread([&] {
        second.reserve(2 * static_cast<std::size_t>(text.size() - middle));
        appendGbkOnThisThread(text.sliced(middle), document, second);
    });
    appendGbkOnThisThread(text.first(middle), document, out);
    other.get();
    out += second;
}

Text fromQt(const QString& text) {
    Text out;
    out.reserve(2 * static_cast<std::size_t>(text.size()));  // two bytes a unit at most, a break too
    appendGbk(text, false, out);
    return out;
}

QString utf8ToQt(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QString gbkSafe(const QString& text) { return QString::fromStdU16String(decodeGbkLossy(encodeGbkLossy(text.toStdU16String()))); }

}  // namespace talery
