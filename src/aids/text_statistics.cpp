#include "aids/text_statistics.h"

#include "session/documents.h"
#include "session/writing_session.h"
#include "core/second_thread.h"

#include <algorithm>
#include <future>
#include <memory>

namespace talery {
namespace {

// Longest piece of a paragraph counted as one; a change recounts at most a
// few of these, whatever the paragraph's length.
constexpr std::size_t kPieceCharacters = 2048;
// Characters read at a time when the whole body is read.
constexpr std::size_t kReadSlice = std::size_t(1) << 19;
// Bytes of the program's own text from which it is counted where it goes.
constexpr std::size_t kLongProgramText = std::size_t(1) << 16;

struct DayTask {
    const char8_t* key;
    std::uint64_t threshold;
};
Text dayCountKey() { return gbk(u8"今日字数"); }
Text dayDateKey() { return gbk(u8"今日字数日期"); }
// Calls of keepDayCount (seconds) between two writes of a changing count.
constexpr int kDayCountEvery = 10;

constexpr std::array<DayTask, 4> kDayTasks{{{u8"1000字", 1000}, {u8"8000字", 8000}, {u8"20000字", 20000},
                                            {u8"100000字", 100000}}};

}  // namespace

std::vector<BodyMirror::Piece> BodyMirror::cut(std::string_view text) {
    std::vector<Piece> out;
    // About a piece a line: a novel of short lines would otherwise grow the
    // vector many times over.
    out.reserve(countOf(text, '\n') + text.size() / kPieceCharacters + 1);
    for (std::size_t i = 0; i < text.size();) {
        CountedLine line = countLine(text, i, kPieceCharacters);
        i = line.end;
        out.push_back(Piece{line.characters, text[i - 1] == '\n', line.counts});
    }
    return out;
}

void BodyMirror::adopt(std::vector<Piece> pieces) {
    FigureCounts totals;
    std::size_t characters = 0;
    for (const Piece& p : pieces) {
        totals += p.counts;
        characters += p.characters;
    }
    pieces_ = std::move(pieces);
    totals_ = totals;
    characters_ = characters;
    known_ = true;
    cacheIndex_ = cacheStart_ = 0;
}

std::pair<std::size_t, std::size_t> BodyMirror::locate(std::size_t position) {
    std::size_t index = cacheIndex_, start = cacheStart_;
    while (position < start && index > 0) {
        --index;
        start -= pieces_[index].characters;
    }
    while (index + 1 < pieces_.size() && position >= start + pieces_[index].characters) {
        start += pieces_[index].characters;
        ++index;
    }
    return {index, start};
}

std::pair<std::size_t, std::size_t> BodyMirror::lastTouched(std::size_t position, std::size_t removed,
                                                             std::size_t first, std::size_t firstStart) {
    auto [last, lastStart] = removed > 0 ? locate(position + removed - 1) : std::pair{first, firstStart};
    // The next piece too: a paragraph whose line break went away joins it.
    if (last + 1 < pieces_.size()) {
        lastStart += pieces_[last].characters;
        ++last;
    }
    return {last, lastStart};
}

void BodyMirror::replace(std::size_t first, std::size_t last, std::vector<Piece> pieces, std::size_t firstStart) {
    for (std::size_t i = first; i <= last && i < pieces_.size(); ++i) {
        totals_ -= pieces_[i].counts;
        characters_ -= pieces_[i].characters;
    }
    for (const Piece& p : pieces) {
        totals_ += p.counts;
        characters_ += p.characters;
    }
    // Pieces are overwritten in place; only a change in their number moves
    // the pieces after them.
    const std::size_t old = std::min(last + 1, pieces_.size()) - first;
    const std::size_t common = std::min(old, pieces.size());
    std::move(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(common),
              pieces_.begin() + static_cast<std::ptrdiff_t>(first));
    const auto at = pieces_.begin() + static_cast<std::ptrdiff_t>(first + common);
    if (old > common) {
        pieces_.erase(at, at + static_cast<std::ptrdiff_t>(old - common));
    } else {
        pieces_.insert(at, std::make_move_iterator(pieces.begin() + static_cast<std::ptrdiff_t>(common)),
                       std::make_move_iterator(pieces.end()));
    }
    if (first < pieces_.size()) {
        cacheIndex_ = first;
        cacheStart_ = firstStart;
    } else {
        cacheIndex_ = cacheStart_ = 0;
    }
}

ProgramTextNotice::ProgramTextNotice(const ProgramTextHook& hook, std::string_view body, std::size_t start,
                                     std::size_t length, std::shared_ptr<const Text> text) {
    if (!hook || text->size() < kLongProgramText) return;
    hook(ProgramText{countBodyCharacters(body.substr(0, start)), countBodyCharacters(body.substr(start, length)),
                     std::move(text)});
    hook_ = &hook;
}

ProgramTextNotice::~ProgramTextNotice() {
    if (hook_) (*hook_)(std::nullopt);
}

std::optional<std::vector<BodyMirror::Piece>> BodyMirror::cutAsReadBack(std::string_view text) {
    // Valid GBK with CR LF breaks is what the body reads back.
    if (!isValidGbk(text) || !breaksAreCrLf(text)) return std::nullopt;
    return cut(text);
}

void BodyMirror::expect(const ProgramText& text) {
    expected_ = Expected{text.position, text.removed, onSecondThread([t = text.text] { return cutAsReadBack(*t); })};
}

void BodyMirror::expectWhole(std::string_view text, const std::function<void()>& between) {
    // Halves cut behind a line break, where a piece ends anyway: the pieces
    // of both are those of the whole.
    const std::size_t nl = text.find('\n', text.size() / 2);
    const std::size_t half = nl == std::string_view::npos ? text.size() : nl + 1;
    // Both halves on threads of their own, joined on the first, so that the
    // window goes on painting meanwhile; all is done before this returns:
    // the text may go once it is in.
    auto second = onSecondThread([&] { return cutAsReadBack(text.substr(half)); });
    auto whole = onSecondThread([&]() -> std::optional<std::vector<Piece>> {
        std::optional<std::vector<Piece>> pieces = cutAsReadBack(text.substr(0, half));
        std::optional<std::vector<Piece>> rest = second.get();
        if (!pieces || !rest) return std::nullopt;
        // With room for the paragraphs a session adds: growing a list of
        // tens of megabytes at a key would hold the window that long.
        const std::size_t count = pieces->size() + rest->size();
        std::vector<Piece> all;
        all.reserve(count + count / 8 + 4096);
        all.insert(all.end(), std::make_move_iterator(pieces->begin()), std::make_move_iterator(pieces->end()));
        all.insert(all.end(), std::make_move_iterator(rest->begin()), std::make_move_iterator(rest->end()));
        return all;
    });
    waitWhile(whole, between);
    expected_ = Expected{0, kWholeBody, std::move(whole)};
}

bool BodyMirror::applyExpected(const BodyChange& change, const Reader& read) {
    const std::size_t position = expected_->position, removed = expected_->removed;
    // Counted once: a second change in the same span is read back as usual.
    std::optional<std::vector<Piece>> middle = expected_->pieces.get();
    expected_.reset();
    if (!middle) return false;
    std::size_t added = 0;
    for (const Piece& p : *middle) added += p.characters;
    if (removed == kWholeBody) {
        // All of the body, whatever it held before: nothing after the text.
        if (change.position != 0 || change.added != added || !read(added, 1).empty()) return false;
        adopt(std::move(*middle));
        return true;
    }
    // The window may report less than the whole span: what stayed the same at its ends.
    if (change.position < position || change.position + change.removed > position + removed ||
        change.position + change.added > position + added || change.added + removed != change.removed + added ||
        position + removed > characters_)
        return false;
    const auto [first, firstStart] = locate(position);
    const auto [last, lastStart] = lastTouched(position, removed, first, firstStart);
    // The start of the first piece and the rest of the last are read from the body.
    const std::size_t end = lastStart + pieces_[last].characters - removed + added;
    if (end < position + added) return false;
    std::vector<Piece> now = std::move(*middle);
    const std::vector<Piece> head = cut(read(firstStart, position - firstStart));
    now.insert(now.begin(), head.begin(), head.end());
    const std::vector<Piece> tail = cut(read(position + added, end - position - added));
    now.insert(now.end(), tail.begin(), tail.end());
    std::size_t counted = 0;
    for (const Piece& p : now) counted += p.characters;
    if (counted != end - firstStart) return false;
    replace(first, last, std::move(now), firstStart);
    return true;
}

bool BodyMirror::apply(const BodyChange& change, const Reader& read, const std::function<void()>& between) {
    if (expected_ && ((known_ && !pieces_.empty()) || expected_->removed == kWholeBody) && applyExpected(change, read))
        return true;
    auto reload = [&] {
        ++wholeReads_;
        // A slice at a time, so that a whole novel is never held twice more.
        std::vector<Piece> pieces;
        // The body's length as the change tells it: enough to size the list.
        const std::size_t expected = change.position + change.added +
                                     (known_ && characters_ > change.position + change.removed
                                          ? characters_ - change.position - change.removed
                                          : 0);
        // Each slice is counted on a second thread while the next is read:
        // the reading needs the window's thread, the counting does not. The
        // slices are the window's own lengths, so the next one's place is
        // known before the last is counted.
        std::future<std::vector<Piece>> counting;
        const auto collect = [&] {
            std::size_t got = 0;
            const bool first = pieces.empty();
            for (Piece& p : counting.get()) {
                got += p.characters;
                pieces.push_back(std::move(p));
            }
            // Room for the whole body at the first slice's density: growing a
            // list of tens of megabytes late in the read stalls the window,
            // and room never filled is never touched.
            if (first && got == kReadSlice) pieces.reserve(pieces.size() * (expected / kReadSlice + 2));
        };
        for (std::size_t position = 0;; position += kReadSlice) {
            Text slice = read(position, kReadSlice);
            if (counting.valid()) collect();
            if (slice.empty()) break;
            counting = onSecondThread([text = std::make_shared<const Text>(std::move(slice))] { return cut(*text); });
            if (between) between();
        }
        adopt(std::move(pieces));
        return false;
    };
    if (!known_ || change.position + change.removed > characters_) return reload();
    if (change.removed == 0 && change.added == 0) return true;
    if (pieces_.empty()) {
        const Text added = read(0, change.added);
        std::vector<Piece> pieces = cut(added);
        if (countBodyCharacters(added) != change.added) return reload();
        replace(0, 0, std::move(pieces), 0);
        return true;
    }
    auto [first, firstStart] = locate(change.position);
    if (spliceWithin(first, firstStart, change, read)) return true;
    const auto [last, lastStart] = lastTouched(change.position, change.removed, first, firstStart);
    const std::size_t oldCharacters = lastStart + pieces_[last].characters - firstStart;
    const std::size_t newCharacters = oldCharacters - change.removed + change.added;
    const Text region = read(firstStart, newCharacters);
    std::vector<Piece> pieces = cut(region);
    std::size_t counted = 0;
    for (const Piece& p : pieces) counted += p.characters;
    if (counted != newCharacters) return reload();
    replace(first, last, std::move(pieces), firstStart);
    return true;
}

// Typing and deleting inside a line: only the piece it happened in is read
// and counted again. Line breaks are left to the general path: they cut
// pieces and pair CR with LF.
bool BodyMirror::spliceWithin(std::size_t index, std::size_t start, const BodyChange& change, const Reader& read) {
    Piece& piece = pieces_[index];
    const std::size_t offset = change.position - start;
    if (offset + change.removed > piece.characters) return false;
    // The break itself removed, or text put behind it.
    if (piece.endsWithBreak && offset + change.removed == piece.characters) return false;
    const std::size_t characters = piece.characters - change.removed + change.added;
    if (characters == 0 || characters > kPieceCharacters) return false;
    std::vector<Piece> now = cut(read(start, characters));
    if (now.size() != 1 || now[0].characters != characters || now[0].endsWithBreak != piece.endsWithBreak)
        return false;
    totals_ -= piece.counts;
    totals_ += now[0].counts;
    characters_ = characters_ - change.removed + change.added;
    piece = now[0];
    cacheIndex_ = index;
    cacheStart_ = start;
    return true;
}

bool BodyMirror::endsWithLineFeed() const { return !pieces_.empty() && pieces_.back().endsWithBreak; }

TextStatistics::TextStatistics(Window& window, const Clock& clock, const SettingsStore& settings,
                               const SessionController& session, std::function<std::int32_t()> points)
    : window_(window),
      clock_(clock),
      settings_(settings),
      session_(session),
      points_(std::move(points)),
      backup_(std::make_unique<BackupWriter>(
          BackupWriter::Body{[this](std::size_t position, std::size_t count) { return window_.bodyText(position, count); },
                             [this] { return window_.bodyLength(); }},
          [this](std::function<void()> task) { window_.post(std::move(task)); })) {}

void TextStatistics::updateTextStatistics(const BodyChange& change) {
    const bool writing = session_.writing();
    // Text the program puts in when a session ends is no writing of the
    // user's: a copy still due is of the text before it (beforeBodyReplaced).
    backup_->bodyChanged(change.position);
    if (!writing) backup_->dropPending();
    // A whole novel read after it was opened: the window goes on painting.
    mirror_.apply(change, [this](std::size_t position, std::size_t count) { return window_.bodyText(position, count); },
                  [this] { window_.paintDuringWork(); });

    const FigureCounts& totals = mirror_.totals();
    const std::uint64_t live = liveCount(totals);
    // The first change of a session is the program's: the title or the document.
    if (writing && countedWriting_) {
        const std::int64_t growth = static_cast<std::int64_t>(live) - static_cast<std::int64_t>(countedLive_);
        added_ += growth;
        // A document opened from a file is no new text of the day.
        if (!session_.record().openedFromFile) addToDay(growth);
    }
    countedWriting_ = writing;
    countedLive_ = live;
    const Text count = liveCountText(live);
    if (window_.statusText(0) != count) window_.setStatusText(0, count);
    const Text report = statisticsText(textFigures(totals, mirror_.endsWithLineFeed()), points_());
    // Only this handler writes the box: what it wrote last is what it holds.
    if (report != shownReport_) {
        window_.setText(Unit::高级字数统计, report);
        shownReport_ = report;
    }

    if (writing && window_.checked(Unit::自动保存)) {
        if (auto target = backupTarget()) backup_->schedule(std::move(*target));
    }
    if (!session_.record().openedFromFile) writeDayMarks();
}

std::optional<BackupTarget> TextStatistics::backupTarget() const {
    const WritingSession& record = session_.record();
    if (session_.backupFile().empty()) return std::nullopt;
    BackupTarget target{session_.backupFile(), {}};
    if (session_.backupEnciphered()) target.keyText = record.keyPrefix + record.password;
    return target;
}

void TextStatistics::loadDay() const {
    if (dayLoaded_) return;
    dayLoaded_ = true;
    const IniFile ini = settings_.program();
    storedStamp_ = dayStamp_ = ini.read(softwareSection(), dayDateKey());
    const int stored = ini.readInt(softwareSection(), dayCountKey());
    storedCount_ = dayCount_ = stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
}

void TextStatistics::addToDay(std::int64_t growth) {
    loadDay();
    const Text today = dateStamp(clock_.now());
    if (today != dayStamp_) {
        dayStamp_ = today;
        dayCount_ = 0;
    }
    const std::int64_t counted = std::clamp(growth, -kCountedAtOnce, kCountedAtOnce);
    if (counted >= 0) dayCount_ += static_cast<std::uint64_t>(counted);
    else dayCount_ -= std::min(dayCount_, static_cast<std::uint64_t>(-counted));
}

void TextStatistics::keepDayCount(bool now) {
    loadDay();
    if (dayStamp_.empty() || (dayCount_ == storedCount_ && dayStamp_ == storedStamp_)) return;
    if (!now && ++callsSinceStored_ < kDayCountEvery) return;
    callsSinceStored_ = 0;
    const IniFile ini = settings_.program();
    if (ini.writeInt(softwareSection(), dayCountKey(), static_cast<long long>(dayCount_)) &&
        ini.write(softwareSection(), dayDateKey(), dayStamp_)) {
        storedCount_ = dayCount_;
        storedStamp_ = dayStamp_;
    }
}

std::uint64_t TextStatistics::dayCount() const {
    loadDay();
    return dayStamp_ == dateStamp(clock_.now()) ? dayCount_ : 0;
}

std::uint64_t TextStatistics::dayGoal() const {
    const std::uint64_t day = dayCount();
    for (const DayTask& task : kDayTasks)
        if (day <= task.threshold) return task.threshold;
    return 0;
}

void TextStatistics::writeDayMarks() {
    const std::uint64_t daily = dayCount();
    Text today;
    for (std::size_t k = 0; k < kDayTasks.size(); ++k) {
        // Only a count above the threshold can write; a mark known to hold
        // today's stamp is not read again on every key.
        if (daily <= kDayTasks[k].threshold) break;
        if (today.empty()) today = dateStamp(clock_.now());
        if (markedToday_[k] == today) continue;
        static const Text section = gbk(u8"软件设置");
        const Text key = gbk(kDayTasks[k].key);
        const IniFile ini = settings_.program();
        if (ini.read(section, key) == today || ini.write(section, key, today)) markedToday_[k] = today;
    }
}

}  // namespace talery
