#include "platform/ini_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vantry::platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Names the format can carry: not empty, no brackets, '=' or line breaks, no blanks at either
// end (they would be trimmed away when read back).
bool isValidName(std::string_view name)
{
    if (name.empty() || isBlank(name.front()) || isBlank(name.back()))
        return false;
    for (char c : name)
        if (c == '[' || c == ']' || c == '=' || c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

std::string_view cutAtLineBreak(std::string_view value)
{
    const std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
    return cut == std::string_view::npos ? value : value.substr(0, cut);
}

std::string errnoText(const std::string& what, const std::string& path, int error)
{
    return what + " " + path + ": " + std::strerror(error);
}

void setError(std::string* errorText, std::string text)
{
    if (errorText)
        *errorText = std::move(text);
}

bool writeAll(int fd, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::mutex& profileUpdateMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

int32_t parseLeadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

void IniDocument::parse(std::string_view text)
{
    sections_.clear();
    sectionIndex_.clear();
    const std::size_t firstBreak = text.find('\n');
    crlf_ = firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r';

    sections_.push_back(Section{}); // lines before the first header
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Lines end at LF, CR LF or a lone CR, so that no value ever carries a line break.
        std::size_t end = text.find_first_of("\r\n", pos);
        std::size_t next = text.size();
        if (end == std::string_view::npos) {
            end = text.size();
        } else {
            next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n')
                ++next;
        }
        const std::string_view raw = text.substr(pos, end - pos);
        pos = next;

        const std::string_view body = trim(raw);
        if (!body.empty() && body.front() == '[') {
            std::string_view name = body.substr(1);
            const std::size_t close = name.find(']');
            if (close != std::string_view::npos)
                name = name.substr(0, close);
            Section section;
            section.name = std::string(trim(name));
            section.headerRaw = std::string(raw);
            sections_.push_back(std::move(section));
            continue;
        }
        Line line;
        line.raw = std::string(raw);
        const std::size_t equals = body.find('=');
        if (!body.empty() && body.front() != ';' && equals != std::string_view::npos) {
            const std::string_view key = trim(body.substr(0, equals));
            if (!key.empty()) {
                line.key = std::string(key);
                line.value = std::string(trim(body.substr(equals + 1)));
            }
        }
        sections_.back().lines.push_back(std::move(line));
    }
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        indexSection(i);
        if (i > 0)
            sectionIndex_.emplace(lowered(sections_[i].name), i); // first one wins
    }
}

void IniDocument::indexSection(std::size_t sectionIndex)
{
    Section& section = sections_[sectionIndex];
    section.keyIndex.clear();
    for (std::size_t i = 0; i < section.lines.size(); ++i)
        if (!section.lines[i].key.empty())
            section.keyIndex.emplace(lowered(section.lines[i].key), i);
}

bool IniDocument::loadFile(const std::string& path, std::string* errorText)
{
    parse({});
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        setError(errorText, errnoText("cannot open", path, errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        setError(errorText, "cannot read " + path + ": not a regular file");
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > kProfileFileMaxBytes) {
        ::close(fd);
        setError(errorText, "cannot read " + path + ": file too large");
        return false;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            setError(errorText, errnoText("cannot read", path, error));
            return false;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kProfileFileMaxBytes) {
            ::close(fd);
            setError(errorText, "cannot read " + path + ": file too large");
            return false;
        }
    }
    ::close(fd);
    parse(text);
    return true;
}

std::string IniDocument::serialize() const
{
    const std::string_view newline = crlf_ ? "\r\n" : "\n";
    std::string out;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Section& section = sections_[i];
        if (i > 0) {
            out += section.headerRaw;
            out += newline;
        }
        for (const Line& line : section.lines) {
            out += line.raw;
            out += newline;
        }
    }
    return out;
}

bool IniDocument::saveFile(const std::string& path, mode_t mode, std::string* errorText) const
{
    return writeWholeFile(path, serialize(), mode, errorText);
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const
{
    const auto found = sectionIndex_.find(lowered(trim(section)));
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

IniDocument::Section* IniDocument::findSection(std::string_view section)
{
    const auto found = sectionIndex_.find(lowered(trim(section)));
    return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

const IniDocument::Line* IniDocument::findLine(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    if (!s)
        return nullptr;
    const auto found = s->keyIndex.find(lowered(trim(key)));
    return found == s->keyIndex.end() ? nullptr : &s->lines[found->second];
}

bool IniDocument::hasSection(std::string_view section) const
{
    return findSection(section) != nullptr;
}

bool IniDocument::hasKey(std::string_view section, std::string_view key) const
{
    return findLine(section, key) != nullptr;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const Line* line = findLine(section, key);
    if (!line)
        return std::nullopt;
    return line->value;
}

std::string IniDocument::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const Line* line = findLine(section, key);
    std::string_view text = line ? std::string_view(line->value) : defaultValue;
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    if (text.size() > kProfileStringMax)
        text = text.substr(0, kProfileStringMax);
    // Either cut may expose blanks that a write would trim: trim them here so that what is
    // read, written back and read again stays the same.
    return std::string(line ? trim(text) : text);
}

int32_t IniDocument::readInt(std::string_view section, std::string_view key, int32_t defaultValue) const
{
    const Line* line = findLine(section, key);
    return line ? parseLeadingInt(line->value) : defaultValue;
}

bool IniDocument::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    if (!isValidName(section) || !isValidName(key))
        return false;
    value = trim(cutAtLineBreak(value));
    if (sections_.empty())
        sections_.push_back(Section{});

    std::size_t sectionIndex = 0;
    if (const auto found = sectionIndex_.find(lowered(section)); found != sectionIndex_.end()) {
        sectionIndex = found->second;
    } else {
        Section added;
        added.name = std::string(section);
        added.headerRaw = "[" + added.name + "]";
        sections_.push_back(std::move(added));
        sectionIndex = sections_.size() - 1;
        sectionIndex_.emplace(lowered(section), sectionIndex);
    }
    Section& s = sections_[sectionIndex];
    const std::string lowKey = lowered(key);
    if (const auto found = s.keyIndex.find(lowKey); found != s.keyIndex.end()) {
        Line& line = s.lines[found->second];
        line.value = std::string(value);
        line.raw = line.key + "=" + line.value;
        return true;
    }
    Line line;
    line.key = std::string(key);
    line.value = std::string(value);
    line.raw = line.key + "=" + line.value;
    // New keys go after the last key of the section, before trailing blank lines, so that the
    // blank line separating sections stays where it was.
    std::size_t insertAt = s.lines.size();
    while (insertAt > 0 && trim(s.lines[insertAt - 1].raw).empty())
        --insertAt;
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
    indexSection(sectionIndex);
    return true;
}

bool IniDocument::writeInt(std::string_view section, std::string_view key, int32_t value)
{
    return writeString(section, key, std::to_string(value));
}

bool IniDocument::removeKey(std::string_view section, std::string_view key)
{
    const auto found = sectionIndex_.find(lowered(trim(section)));
    if (found == sectionIndex_.end())
        return false;
    Section& s = sections_[found->second];
    const auto line = s.keyIndex.find(lowered(trim(key)));
    if (line == s.keyIndex.end())
        return false;
    s.lines.erase(s.lines.begin() + static_cast<std::ptrdiff_t>(line->second));
    indexSection(found->second);
    return true;
}

std::vector<std::string> IniDocument::sectionNames() const
{
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i)
        names.push_back(sections_[i].name);
    return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const
{
    std::vector<std::string> names;
    if (const Section* s = findSection(section))
        for (const Line& line : s->lines)
            if (!line.key.empty())
                names.push_back(line.key);
    return names;
}

bool writeWholeFile(const std::string& path, std::string_view bytes, mode_t mode, std::string* errorText)
{
    std::string target = path;
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        setError(errorText, "cannot write " + path + ": not a file name");
        return false;
    }

    std::string temporary = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(errorText, errnoText("cannot create a temporary file for", path, errno));
        return false;
    }
    auto fail = [&](const char* what) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        setError(errorText, errnoText(what, path, error));
        return false;
    };
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the mode of");
    if (!writeAll(fd, bytes))
        return fail("cannot write");
    if (::fsync(fd) != 0)
        return fail("cannot flush");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        setError(errorText, errnoText("cannot write", path, error));
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        setError(errorText, errnoText("cannot replace", path, error));
        return false;
    }
    // The rename is durable only once the folder itself is on disk.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool updateProfile(const std::string& path, mode_t mode, const std::function<void(IniDocument&)>& edit,
                   std::string* errorText)
{
    std::lock_guard lock(profileUpdateMutex());
    IniDocument document;
    if (!document.loadFile(path, errorText))
        return false;
    edit(document);
    return document.saveFile(path, mode, errorText);
}

int32_t getProfileInt(const std::string& path, std::string_view section, std::string_view key, int32_t defaultValue)
{
    IniDocument document;
    document.loadFile(path);
    return document.readInt(section, key, defaultValue);
}

std::string getProfileString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view defaultValue)
{
    IniDocument document;
    document.loadFile(path);
    return document.readString(section, key, defaultValue);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, mode_t mode, std::string* errorText)
{
    bool written = false;
    const bool saved = updateProfile(
        path, mode, [&](IniDocument& document) { written = document.writeString(section, key, value); }, errorText);
    if (saved && !written)
        setError(errorText, "cannot write " + path + ": invalid section or key name");
    return saved && written;
}

} // namespace vantry::platform
