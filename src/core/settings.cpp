#include "core/settings.h"

#include "core/log.h"

#include <cerrno>
#include <sys/stat.h>
#include <climits>
#include <vector>

namespace talery {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// First `c` (an ASCII byte) that is a character of its own, or npos.
std::size_t findChar(std::string_view s, char c) {
    for (std::size_t pos = 0; pos < s.size(); pos += gbkCharLength(s, pos)) {
        if (s[pos] == c) return pos;
    }
    return std::string_view::npos;
}

// Names compare without regard to the case of ASCII letters only; bytes of
// double-byte characters compare exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t len = gbkCharLength(a, i);
        if (len == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
        } else if (fold(a[i]) != fold(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

struct Line {
    std::size_t begin = 0;  // first byte of the line
    std::size_t end = 0;    // one past the last byte before the line break
    std::size_t next = 0;   // first byte of the following line
};

// Lines end at CR LF, LF or a lone CR (as older editors on other systems
// write them).
std::vector<Line> splitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t brk = content.find_first_of("\r\n", pos);
        Line line;
        line.begin = pos;
        line.end = brk == std::string_view::npos ? content.size() : brk;
        line.next = line.end;
        if (brk != std::string_view::npos)
            line.next = (content[brk] == '\r' && brk + 1 < content.size() && content[brk + 1] == '\n') ? brk + 2 : brk + 1;
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// What to put after `content` so that a new line can start: nothing after a
// line break, LF after a final bare CR (making it CR LF), else CR LF.
std::string_view breakBefore(std::string_view content) {
    if (content.empty() || content.back() == '\n') return {};
    return content.back() == '\r' ? "\n" : "\r\n";
}

// Section name of a header line, or nothing.
std::optional<std::string_view> sectionOf(std::string_view text) {
    text = trim(text);
    if (text.empty() || text.front() != '[') return std::nullopt;
    const auto close = findChar(text, ']');
    std::string_view name = text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    return trim(name);
}

struct KeyLine {
    std::string_view name;
    std::size_t valueBegin;  // offset in the content, just after "="
};

std::optional<KeyLine> keyOf(std::string_view content, const Line& line) {
    const std::string_view text = content.substr(line.begin, line.end - line.begin);
    const auto eq = findChar(text, '=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyLine{trim(text.substr(0, eq)), line.begin + eq + 1};
}

// Cut at the reader's limit without leaving half a double-byte character.
std::string_view limitValue(std::string_view value) {
    if (value.size() <= kIniValueLimit) return value;
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t len = gbkCharLength(value, pos);
        if (pos + len > kIniValueLimit) break;
        pos += len;
    }
    return value.substr(0, pos);
}

bool storable(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos; }

// Names that would not read back as written are refused: the reader trims
// blanks around names, a "]" ends a section header early, a key splits at
// its first "=", and a key line starting with "[" is a section header.
bool storableName(std::string_view name) { return !name.empty() && storable(name) && trim(name) == name; }
bool storableSection(std::string_view section) {
    // The closing "]" must stay a character of its own: a name ending in a
    // lead byte would take it as its trail byte.
    return storableName(section) && findChar(std::string(section) + "]", ']') == section.size();
}
bool storableKey(std::string_view key) {
    return storableName(key) && findChar(key, '=') == std::string_view::npos && key.front() != '[';
}

}  // namespace

int parseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

Text iniRead(std::string_view content, std::string_view section, std::string_view key) {
    if (section.empty() || key.empty()) return {};
    bool inSection = false;
    bool seenSection = false;
    for (const Line& line : splitLines(content)) {
        const std::string_view text = content.substr(line.begin, line.end - line.begin);
        if (auto name = sectionOf(text)) {
            // Only the first section of a name counts, as the Windows program reads it.
            if (inSection) return {};
            inSection = !seenSection && sameName(*name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection) continue;
        auto k = keyOf(content, line);
        if (!k || !sameName(k->name, key)) continue;
        std::string_view value = trim(content.substr(k->valueBegin, line.end - k->valueBegin));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return Text(limitValue(value));
    }
    return {};
}

std::optional<std::string> iniWrite(std::string_view content, std::string_view section, std::string_view key,
                                    std::string_view value) {
    if (!storableSection(section) || !storableKey(key) || !storable(value)) return std::nullopt;
    const std::vector<Line> lines = splitLines(content);
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    // Find the section and, within it, the key and the last key line.
    std::optional<std::size_t> header;
    std::optional<std::size_t> lastKey;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = content.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (auto name = sectionOf(text)) {
            if (header) break;
            if (sameName(*name, section)) header = i;
            continue;
        }
        if (!header) continue;
        auto k = keyOf(content, lines[i]);
        if (!k) continue;
        if (sameName(k->name, key)) {
            // Replace only the value; every other byte stays.
            std::string out(content.substr(0, k->valueBegin));
            out += value;
            out += content.substr(lines[i].end);
            return out;
        }
        lastKey = i;
    }

    auto insertAfter = [&](std::size_t index, const std::string& text) {
        const Line& line = lines[index];
        std::string out(content.substr(0, line.next));
        if (line.next == content.size()) out += breakBefore(out);  // the last line: complete its break
        out += text;
        out += content.substr(line.next);
        return out;
    };

    if (header) return insertAfter(lastKey ? *lastKey : *header, keyLine + "\r\n");

    std::string out(content);
    out += breakBefore(out);
    out += "[" + std::string(section) + "]\r\n" + keyLine + "\r\n";
    return out;
}

Text IniFile::read(std::string_view section, std::string_view key) const {
    if (path_.empty() || section.empty() || key.empty()) return {};
    auto content = readWholeFile(path_, nullptr, kIniFileLimit);
    if (!content) return {};
    return iniRead(*content, section, key);
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) const {
    const IniEntry entry{Text(section), Text(key), Text(value)};
    return writeAll({&entry, 1});
}

bool IniFile::writeAll(std::span<const IniEntry> entries) const {
    if (path_.empty()) return false;
    std::string content;
    FileError error;
    if (auto existing = readWholeFile(path_, &error, kIniFileLimit)) {
        content = std::move(*existing);
    } else if (error.code != ENOENT) {
        // Unreadable, too large or not a file: never overwrite it blindly.
        logFailure(LogArea::Settings, "cannot read " + path_ + " to update it: " + error.reasonUtf8);
        return false;
    }
    std::string updated = content;
    for (const IniEntry& entry : entries) {
        auto next = iniWrite(updated, entry.section, entry.key, entry.value);
        if (!next) return false;
        updated = std::move(*next);
    }
    if (updated == content && fileExists(path_)) return !isReadOnly(path_);
    if (writeFileAtomic(path_, updated, &error)) return true;
    logFailure(LogArea::Settings, "cannot write " + path_ + ": " + error.reasonUtf8);
    return false;
}

bool IniFile::readBool(std::string_view section, std::string_view key) const {
    return read(section, key) == gbk(u8"真");
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value) const {
    return write(section, key, value ? gbk(u8"真") : gbk(u8"假"));
}

Path SettingsStore::dialogFolder() const {
    const Path folder = gbkToUtf8Lossy(program().read(gbk(u8"软件设置"), gbk(u8"上次文件夹")));
    struct stat st {};
    if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return folder;
    return programDir_;
}

void SettingsStore::rememberDialogFolder(const Path& chosenFile) const {
    const Path folder = parentFolder(chosenFile);
    if (!folder.empty()) program().write(gbk(u8"软件设置"), gbk(u8"上次文件夹"), utf8ToGbkLossy(folder));
}

}  // namespace talery
