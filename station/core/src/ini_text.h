#pragma once

#include <map>
#include <string>

namespace vantry::station::detail {

// A read-only view of a small INI file with the private-profile rules the settings follow:
// section and key names without regard to case, integers as a leading signed decimal
// (the default when the key is missing, 0 when it is not a number).
class IniText {
public:
    bool load(const std::string& path);
    void parse(const std::string& text);

    bool has(const std::string& section, const std::string& key) const;
    std::string text(const std::string& section, const std::string& key, const std::string& fallback = {}) const;
    long long integer(const std::string& section, const std::string& key, long long fallback) const;

private:
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

} // namespace vantry::station::detail
