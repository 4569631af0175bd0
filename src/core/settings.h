#pragma once
// The settings file: an INI file of GBK bytes read and written with the
// semantics of the Windows private-profile functions, so that files written by
// either program read the same in the other.

#include "core/colour.h"
#include "core/files.h"
#include "core/text.h"

#include <optional>
#include <span>

namespace talery {

// Longest value a read returns, as the Windows program reads into a 10240-byte buffer.
constexpr std::size_t kIniValueLimit = 10239;
// Larger files are not settings files; they read as empty and are never rewritten.
constexpr std::size_t kIniFileLimit = 16u << 20;

// The program settings' sections most of the program reads and writes.
inline Text softwareSection() { return gbk(u8"软件设置"); }
inline Text textSection() { return gbk(u8"文本设置"); }

// Pure forms over the file's bytes, for reading and for planning a write.
Text iniRead(std::string_view content, std::string_view section, std::string_view key);
// The whole new content after writing the value, or nothing when the
// arguments cannot be stored so that they read back: empty names, line
// breaks or NUL inside, blanks around a name, "]" in a section name, "=" in a
// key or a key starting with "[".
std::optional<std::string> iniWrite(std::string_view content, std::string_view section, std::string_view key,
                                    std::string_view value);

// Integer as the reader parses it: leading blanks, an optional sign, then
// the leading digits; anything else gives 0. Saturates at the 32-bit range.
int parseInteger(std::string_view text);

// One value to store, for writing several in one replacement of the file.
struct IniEntry {
    Text section;
    Text key;
    Text value;
};

class IniFile {
public:
    explicit IniFile(Path path) : path_(std::move(path)) {}
    const Path& path() const { return path_; }

    Text read(std::string_view section, std::string_view key) const;
    bool write(std::string_view section, std::string_view key, std::string_view value) const;
    // Several values in one replacement of the file: all of them are stored, or none.
    bool writeAll(std::span<const IniEntry> entries) const;

    int readInt(std::string_view section, std::string_view key) const { return parseInteger(read(section, key)); }
    bool readBool(std::string_view section, std::string_view key) const;  // exactly "真"
    Colour readColour(std::string_view section, std::string_view key) const {
        return static_cast<Colour>(readInt(section, key)) & 0xFFFFFF;
    }
    bool writeInt(std::string_view section, std::string_view key, long long value) const {
        return write(section, key, decimal(value));
    }
    bool writeBool(std::string_view section, std::string_view key, bool value) const;

    bool exists() const { return fileExists(path_); }

private:
    Path path_;
};

// The settings file: everything lives in the program directory's file, the
// points included, so that they stay with the program whatever folder it is
// started from. Nothing is kept in the working directory.
class SettingsStore {
public:
    explicit SettingsStore(Path programDirectory) : programDir_(std::move(programDirectory)) {}
    // Only for the benchmarks' call sites, which still name a working folder:
    // it is not used.
    SettingsStore(Path programDirectory, const Path& /*unused*/) : SettingsStore(std::move(programDirectory)) {}

    IniFile program() const { return IniFile(programDir_ + "/setting.ini"); }
    const Path& programDirectory() const { return programDir_; }
    // Where the open and save dialogs start: the folder of the document last
    // opened or saved through one, kept across runs; at first, and when that
    // folder is gone, the program directory.
    Path dialogFolder() const;
    void rememberDialogFolder(const Path& chosenFile) const;

private:
    Path programDir_;
};

}  // namespace talery
