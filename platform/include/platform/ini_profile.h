// INI profiles: the settings files of every Vantry program (vantry.ini, devices.ini,
// ptzprotocol.ini, the skin's ui.ini) are sections of key=value lines.
//
// Observable rules, shared by every reader and writer of these files:
//  - section and key names compare case-insensitively; the first match wins;
//  - a string read keeps at most 259 characters (the 260-character buffers of the file format);
//  - an integer read is the leading signed decimal of the value: the default when the key is
//    missing, 0 when the text does not start with a number, wrapping modulo 2^32;
//  - unknown sections, keys, comments and other lines are kept as they are when a file is
//    written back;
//  - a file is always rewritten whole and safely: a temporary file in the same folder, fsync,
//    rename; the original stays intact on any failure.
//
// IniDocument is the in-memory form (load once, read many keys, save once); the free functions
// are the one-call forms for a single key.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantry::platform {

// The longest string a read returns (a 260-byte buffer with its terminating NUL).
inline constexpr std::size_t kProfileStringMax = 259;

// Settings files bigger than this are refused instead of being read into memory.
inline constexpr std::size_t kProfileFileMaxBytes = 16u * 1024u * 1024u;

// Mode for files that hold passwords (vantry.ini).
inline constexpr mode_t kPrivateFileMode = 0600;
inline constexpr mode_t kDefaultFileMode = 0644;

// Leading signed decimal of a text, wrapping modulo 2^32 like the 32-bit readers of the format:
// optional blanks, an optional sign, digits. No digits gives 0.
int32_t parseLeadingInt(std::string_view text);

class IniDocument {
public:
    IniDocument() = default;

    // Reads a file. A missing file gives an empty document and success (every read then gives
    // its default). A file that exists but cannot be read, or is larger than
    // kProfileFileMaxBytes, gives an empty document and false with the reason in errorText.
    bool loadFile(const std::string& path, std::string* errorText = nullptr);

    // Replaces the document with parsed text. Never fails: lines that are neither sections nor
    // keys are kept as they are.
    void parse(std::string_view text);

    // The whole file text, in the line-ending style of the loaded text (LF for a new document).
    std::string serialize() const;

    // Writes the document to path (see writeWholeFile). False with errorText on failure; the
    // previous file is then untouched.
    bool saveFile(const std::string& path, mode_t mode = kDefaultFileMode, std::string* errorText = nullptr) const;

    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;

    // The stored value of a key as it stands (no length limit), or nullopt when missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // The value cut to kProfileStringMax characters (and at a NUL byte), or the default when the
    // key is missing (the default is cut the same way).
    std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

    // Leading signed decimal of the value, defaultValue when the key is missing.
    int32_t readInt(std::string_view section, std::string_view key, int32_t defaultValue) const;

    // Sets a key, adding the section and key at their ends when missing. A value is cut at its
    // first CR, LF or NUL so that it can never add lines to the file. Returns false (and changes
    // nothing) for a section or key name that the format cannot carry (empty, or containing
    // '[', ']', '=', CR, LF or NUL, or leading/trailing blanks).
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInt(std::string_view section, std::string_view key, int32_t value);

    bool removeKey(std::string_view section, std::string_view key);

    // Names in file order (for tools and tests).
    std::vector<std::string> sectionNames() const;
    std::vector<std::string> keyNames(std::string_view section) const;

private:
    struct Line {
        std::string key;   // empty for a line that is not key=value (comment, blank, other)
        std::string value; // trimmed value of a key line
        std::string raw;   // the original line, written back unchanged while not modified
    };
    struct Section {
        std::string name; // empty for the lines before the first section header
        std::string headerRaw;
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keyIndex; // lowered key -> first line
    };

    const Section* findSection(std::string_view section) const;
    Section* findSection(std::string_view section);
    const Line* findLine(std::string_view section, std::string_view key) const;
    void indexSection(std::size_t sectionIndex);

    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_; // lowered name -> first section
    bool crlf_ = false;
};

// Writes bytes to path safely: a temporary file in the same folder, created with mode, written
// whole, fsynced, then renamed over path and the folder fsynced. On any failure the temporary
// file is removed, path is left as it was, and false comes back with the reason.
// A symbolic link at path is followed, so the file it points at is the one replaced.
bool writeWholeFile(const std::string& path, std::string_view bytes, mode_t mode, std::string* errorText = nullptr);

// Read-modify-write of one settings file under a process-wide lock, so that two threads of a
// program editing different sections of the same file never lose each other's changes. A file
// that exists but cannot be read is never replaced. Returns false with the reason on failure.
bool updateProfile(const std::string& path, mode_t mode, const std::function<void(IniDocument&)>& edit,
                   std::string* errorText = nullptr);

// One-call forms (each reads the file).
int32_t getProfileInt(const std::string& path, std::string_view section, std::string_view key, int32_t defaultValue);
std::string getProfileString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view defaultValue);
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, mode_t mode = kDefaultFileMode, std::string* errorText = nullptr);

} // namespace vantry::platform
