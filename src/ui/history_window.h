#pragma once
// The history window as the logic sees it: a non-modal window beside the
// main window listing earlier states of texts (rows, some under a heading
// row), showing one of them read only with its changes against the text now
// marked, and bringing it back. Its events reach the logic as UiEvents
// naming the history unit. Texts are GBK bytes.

#include "core/text.h"
#include "ui/find_windows.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace talery {

#ifndef Q_MOC_RUN
enum class HistoryUnit : std::uint8_t {
    None,
    Window,     // the window itself (its close box or Escape)
    列表,       // the rows: SelectionChanged with the row's index
    恢复按钮,   // bring the selected state back
    关闭按钮,
};
#else
enum class HistoryUnit : std::uint8_t;
#endif

struct HistoryRow {
    int depth = 0;   // 0 a heading or a row of its own, 1 a row under the last heading
    Text when;       // replaced or written, for people
    Text size;       // characters, as the live count counts
    Text change;     // against the text now: characters added and removed
    Text note;       // what else matters (how long a copy is still kept)
    friend bool operator==(const HistoryRow&, const HistoryRow&) = default;
};

// Two texts compared line by line, and changed lines character by
// character. Lines are byte ranges of one of the texts, without their CR LF.
struct MarkedLine {
    enum class Kind : std::uint8_t { Same, Removed, Added };
    Kind kind = Kind::Same;
    std::size_t start = 0;   // in `older` for Same and Removed, in `newer` for Added
    std::size_t length = 0;
    // Byte ranges within the line that changed (relative to `start`); a
    // wholly removed or added line has one covering it.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> marks;
};

struct MarkedText {
    Text older;  // the earlier state shown
    Text newer;  // the text now
    std::vector<MarkedLine> lines;
    std::uint64_t addedCharacters = 0;    // in `newer` and not in `older`
    std::uint64_t removedCharacters = 0;  // in `older` and not in `newer`
    std::string_view line(const MarkedLine& l) const {
        return std::string_view(l.kind == MarkedLine::Kind::Added ? newer : older).substr(l.start, l.length);
    }
};

class HistoryWindow {
public:
    virtual ~HistoryWindow() = default;

    // Creates the window when needed, empties it, applies the look, shows it
    // above the main window and activates it.
    virtual void open(const Text& caption, const FindWindowLook& look) = 0;
    virtual void close() = 0;
    virtual bool shown() const = 0;

    // The rows; setting them never raises SelectionChanged.
    virtual void setRows(const std::vector<HistoryRow>& rows) = 0;
    virtual void setRow(int index, const HistoryRow& row) = 0;
    virtual int currentRow() const = 0;  // -1 none
    virtual void setCurrentRow(int index) = 0;

    // The preview: a state with its changes marked, or a note instead.
    virtual void showText(std::shared_ptr<const MarkedText> text) = 0;
    virtual void showNote(const Text& note) = 0;
    // Work on the preview under way: the share done; below 0 hides it.
    virtual void setProgress(double fraction) = 0;

    virtual void setEnabled(HistoryUnit unit, bool on) = 0;
    virtual bool enabled(HistoryUnit unit) const = 0;
    virtual void setText(HistoryUnit unit, const Text& text) = 0;
};

}  // namespace talery
