#pragma once
// 一键排版: lays a chapter out the way Chinese fiction sites expect, and the
// indent that Enter carries over to the next paragraph while writing.

#include "aids/text_statistics.h"
#include "core/settings.h"
#include "core/text.h"
#include "ui/window.h"

#include <optional>

#include <string_view>

namespace talery {

struct LayoutOptions {
    bool keepEmptyLine = true;  // a run of empty lines becomes one; false: none
    bool firstLineIsTitle = true;  // the first line is left exactly as it is
};

// Every paragraph starts with two full-width spaces, whatever indent it had;
// trailing spaces go; runs of empty lines shrink; ASCII , . ! ? : ; after a
// Chinese character and before another (or the line's end) and paired " '
// next to Chinese text become full-width. Each line keeps its own line break
// (CR LF or LF). Latin words, numbers and addresses (web and mail, also
// with Chinese labels: www.小说网.公司) are never touched.
Text layOutChapter(std::string_view text, const LayoutOptions& options);

// The part of a body that a lay-out changes: bytes [start, start + length)
// become `replacement`. Empty (length 0 and no replacement) when nothing changes.
struct LayoutEdit {
    std::size_t start = 0;
    std::size_t length = 0;
    Text replacement;
};
// Lays out the whole lines that bytes [start, start + length) of `body` touch.
LayoutEdit layOutRange(std::string_view body, std::size_t start, std::size_t length, bool keepEmptyLine);

// The key of [软件设置] that, 真, drops empty lines altogether (the settings page's check box).
inline Text layoutDropsEmptyLinesKey() { return gbk(u8"排版删除空行"); }

// The menu entry and Ctrl+Shift+L: one undoable edit of the body or the
// selection, keeping one empty line of a run or none as the setting says.
// Only while a session runs.
// `announce` hears of a long text before it goes in.
void layOutBody(Window& window, const SettingsStore& settings, const Text& body, const ProgramTextHook& announce = {});

// After Enter in the body, once the line break is in at character
// `lineBreak` (positions as in BodyChange) and the caret behind it: the new
// line takes the indent of the paragraph before it. Enter on a line of indent
// alone moves that indent down, so empty lines keep no spaces. Reads the one
// line, never the whole body: a novel is as quick as a note.
// Returns the indent it put in: where it ends (a character position) and how
// many characters it has; nothing when it put none in.
struct CarriedIndent {
    std::size_t end = 0;
    std::size_t characters = 0;
};
std::optional<CarriedIndent> carryIndent(Window& window, std::size_t lineBreak);

}  // namespace talery
