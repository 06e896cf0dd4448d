#include "ini_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vantry::station::detail {

namespace {

// A settings file of a few sections; anything much larger is not one of ours.
constexpr std::streamsize kMaxIniBytes = 1 << 20;

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trim(const std::string& s)
{
    const auto begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return {};
    const auto end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

} // namespace

bool IniText::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string text(static_cast<size_t>(kMaxIniBytes), '\0');
    in.read(text.data(), kMaxIniBytes);
    text.resize(static_cast<size_t>(in.gcount()));
    parse(text);
    return true;
}

void IniText::parse(const std::string& text)
{
    sections_.clear();
    std::istringstream lines(text);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            section = lower(trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = lower(trim(line.substr(0, equals)));
        auto& keys = sections_[section];
        if (!key.empty() && keys.find(key) == keys.end())
            keys[key] = trim(line.substr(equals + 1));
    }
}

bool IniText::has(const std::string& section, const std::string& key) const
{
    const auto s = sections_.find(lower(section));
    return s != sections_.end() && s->second.count(lower(key)) != 0;
}

std::string IniText::text(const std::string& section, const std::string& key, const std::string& fallback) const
{
    const auto s = sections_.find(lower(section));
    if (s == sections_.end())
        return fallback;
    const auto k = s->second.find(lower(key));
    return k == s->second.end() ? fallback : k->second;
}

long long IniText::integer(const std::string& section, const std::string& key, long long fallback) const
{
    if (!has(section, key))
        return fallback;
    const std::string value = text(section, key);
    errno = 0;
    const long long v = std::strtoll(value.c_str(), nullptr, 10);
    return errno == ERANGE ? 0 : v;
}

} // namespace vantry::station::detail
