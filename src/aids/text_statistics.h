#pragma once
// The statistics that follow every change of the body: the live count in the
// status bar, the detailed report, the backup copy and the day marks of the
// character-count tasks.
//
// The figures are kept per paragraph (long paragraphs in pieces), without the
// text, which the body already holds; a change reads and recounts only the
// pieces it touched, so typing costs the same in a short note and in a whole
// novel. The totals are at every moment those of the whole body.

#include "session/backup.h"
#include "core/text_figures.h"
#include "core/clock.h"
#include "core/settings.h"
#include "ui/window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace talery {

class SessionController;

// The program's own text about to replace characters [position, position +
// removed) of the body.
struct ProgramText {
    std::size_t position = 0, removed = 0;
    std::shared_ptr<const Text> text;
};

// Hears of the program's own text before it goes in, and of nothing once it is in.
using ProgramTextHook = std::function<void(std::optional<ProgramText>)>;

// Tells `hook` of a long text the program is about to put in place of bytes
// [start, start + length) of `body`, for as long as it lives (also when
// putting it in fails). A short one is read back as usual: counting it where
// it goes costs more than it saves.
class ProgramTextNotice {
public:
    ProgramTextNotice(const ProgramTextHook& hook, std::string_view body, std::size_t start, std::size_t length,
                      std::shared_ptr<const Text> text);
    ~ProgramTextNotice();
    ProgramTextNotice(const ProgramTextNotice&) = delete;
    ProgramTextNotice& operator=(const ProgramTextNotice&) = delete;

private:
    const ProgramTextHook* hook_ = nullptr;
};

// The body's counts in pieces: a paragraph, or a part of a long one.
class BodyMirror {
public:
    // Applies a reported change, reading what it touched from `read`
    // (characters [position, position + count) of the body after the change).
    // Returns false when it had to read the whole body again.
    using Reader = std::function<Text(std::size_t position, std::size_t count)>;
    // `between` runs between the slices of a whole read.
    bool apply(const BodyChange& change, const Reader& read, const std::function<void()>& between = {});
    // The text is counted on a second thread while the window takes it in,
    // and a change within its span is applied from that count rather than
    // read back (a whole novel laid out again). Until forget().
    void expect(const ProgramText& text);
    // A text about to become the whole body, counted now, while it is whole,
    // on two threads (`between` runs while they work); the change that puts
    // it in is applied from that count.
    void expectWhole(std::string_view text, const std::function<void()>& between = {});
    void forget() { expected_.reset(); }

    const FigureCounts& totals() const { return totals_; }
    bool endsWithLineFeed() const;
    std::size_t characters() const { return characters_; }
    std::size_t pieces() const { return pieces_.size(); }
    bool known() const { return known_; }
    // How often the whole body had to be read (the first change included).
    std::size_t wholeReads() const { return wholeReads_; }

private:
    struct Piece {
        std::size_t characters = 0;
        bool endsWithBreak = false;
        FigureCounts counts;
    };
    static std::vector<Piece> cut(std::string_view text);
    // The pieces of a text, when the body would give it back byte for byte.
    static std::optional<std::vector<Piece>> cutAsReadBack(std::string_view text);
    void adopt(std::vector<Piece> pieces);
    // Index of the piece holding character `position` (the last one at the
    // end), and where it starts.
    std::pair<std::size_t, std::size_t> locate(std::size_t position);
    // The last piece a change of [position, position + removed) touches, with
    // the one after it, and where it starts; the first is given.
    std::pair<std::size_t, std::size_t> lastTouched(std::size_t position, std::size_t removed, std::size_t first,
                                                    std::size_t firstStart);
    bool spliceWithin(std::size_t index, std::size_t start, const BodyChange& change, const Reader& read);
    void replace(std::size_t first, std::size_t last, std::vector<Piece> pieces, std::size_t firstStart);
    bool applyExpected(const BodyChange& change, const Reader& read);
    // Marks an expected text that replaces whatever the body holds.
    static constexpr std::size_t kWholeBody = std::size_t(-1);
    struct Expected {
        std::size_t position = 0, removed = 0;
        // Nothing when the body would not give the text back byte for byte.
        std::future<std::optional<std::vector<Piece>>> pieces;
    };
    std::optional<Expected> expected_;

    std::vector<Piece> pieces_;
    FigureCounts totals_;
    std::size_t characters_ = 0;
    bool known_ = false;
    std::size_t wholeReads_ = 0;
    std::size_t cacheIndex_ = 0, cacheStart_ = 0;  // typing stays near the last change
};

class TextStatistics {
public:
    TextStatistics(Window& window, const Clock& clock, const SettingsStore& settings, const SessionController& session,
                   std::function<std::int32_t()> points);

    // The handler of every change of the body.
    void updateTextStatistics(const BodyChange& change);
    // The program's own text about to go in (see BodyMirror::expect), or nothing once it is in.
    void expectProgramText(std::optional<ProgramText> text) {
        if (text) mirror_.expect(*text);
        else mirror_.forget();
    }
    // A loaded text about to become the whole body (see BodyMirror::expectWhole), or nothing once it is in.
    void expectLoaded(const Text* body) {
        if (body) mirror_.expectWhole(*body, [this] { window_.paintDuringWork(); });
        else mirror_.forget();
    }

    const BodyMirror& mirror() const { return mirror_; }
    BackupWriter& backup() { return *backup_; }
    // The program is about to replace the body at the end of a session: a
    // backup still due keeps the text before it.
    void beforeBodyReplaced() { backup_->freeze(); }

    // Writing speed: the live count's net growth while writing in this run
    // (what the program puts in to start or end a session is not counted).
    std::int64_t addedWhileWriting() const { return added_; }
    // The count the day's character tasks go by, and the next of their
    // thresholds above it (0 past the last). The day's count is what was
    // written today in new texts, counted as the live count counts and kept
    // across restarts; a single change (a paste, a commit of the input
    // method) moves it by at most kCountedAtOnce characters.
    std::uint64_t dayCount() const;
    std::uint64_t dayGoal() const;
    static constexpr std::int64_t kCountedAtOnce = 100;
    // Stores the day's count in the settings file: every few calls (one a
    // second) while it changes, and at once when `now`.
    void keepDayCount(bool now);

private:
    void writeDayMarks();
    void loadDay() const;
    void addToDay(std::int64_t growth);
    std::optional<BackupTarget> backupTarget() const;

    Window& window_;
    const Clock& clock_;
    const SettingsStore& settings_;
    const SessionController& session_;
    std::function<std::int32_t()> points_;
    BodyMirror mirror_;
    Text shownReport_;
    std::array<Text, 4> markedToday_{};  // the marks known to hold today's stamp
    std::unique_ptr<BackupWriter> backup_;
    bool countedWriting_ = false;
    std::uint64_t countedLive_ = 0;
    std::int64_t added_ = 0;
    // The day's count, read from the settings file at first use.
    mutable bool dayLoaded_ = false;
    mutable Text dayStamp_, storedStamp_;
    mutable std::uint64_t dayCount_ = 0, storedCount_ = 0;
    int callsSinceStored_ = 0;
};

}  // namespace talery
