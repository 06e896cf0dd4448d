#include "common/mask_data.h"

#include <algorithm>
#include <array>

namespace vantry::common {

namespace {

// Reads a signed decimal at pos (optional '-', then digits, wrapping modulo 2^32); anything up
// to the next separator that is not a digit is skipped, as a plain decimal reader would.
uint32_t readNumber(std::string_view text, std::size_t& pos)
{
    bool negative = false;
    if (pos < text.size() && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value * 10u + static_cast<uint32_t>(text[pos] - '0');
    while (pos < text.size() && text[pos] != '-')
        ++pos;
    return negative ? 0u - value : value;
}

} // namespace

uint32_t maskRandom(uint32_t seed)
{
    return ((seed * 214013u + 2531011u) >> 16) & 0x7FFFu;
}

std::string maskPassword(std::string_view password, uint32_t nowSeconds)
{
    std::array<uint8_t, kMaskedPasswordLength> bytes;
    bytes.fill(' ');
    const std::size_t length = std::min(password.size(), kMaskedPasswordLength);
    std::copy_n(password.begin(), length, bytes.begin());

    std::array<uint32_t, 4> words{};
    for (std::size_t w = 0; w < words.size(); ++w)
        for (std::size_t b = 0; b < 4; ++b)
            words[w] |= static_cast<uint32_t>(bytes[w * 4 + b]) << (8 * b);

    const uint32_t largest = *std::max_element(words.begin(), words.end());
    const uint32_t base = nowSeconds >= largest ? nowSeconds : largest;
    const uint32_t key = base + maskRandom(nowSeconds);

    std::string text = std::to_string(static_cast<int32_t>(key));
    for (const uint32_t word : words) {
        text += '-';
        text += std::to_string(static_cast<int32_t>(key - word));
    }
    return text;
}

std::optional<std::string> unmaskPassword(std::string_view text)
{
    if (text.empty())
        return std::string();
    if (text.find('-') == std::string_view::npos)
        return std::nullopt;

    std::size_t pos = 0;
    const uint32_t key = readNumber(text, pos);
    std::string password;
    for (int w = 0; w < 4 && pos < text.size(); ++w) {
        ++pos; // the separator
        const uint32_t word = key - readNumber(text, pos);
        for (int b = 0; b < 4; ++b)
            password.push_back(static_cast<char>((word >> (8 * b)) & 0xFFu));
    }
    const std::size_t nul = password.find('\0');
    if (nul != std::string::npos)
        password.resize(nul);
    while (!password.empty() && password.back() == ' ')
        password.pop_back();
    return password;
}

} // namespace vantry::common
