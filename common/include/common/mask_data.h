// The login password's stored form (key MaskData). Not encryption - it only keeps the password
// from being read at a glance in the settings file, which is why that file is private to its
// owner. The password (at most 16 characters, padded with blanks) is read as four 32-bit
// little-endian words w0..w3; a base K is made of the save time, the largest word and one
// pseudo-random number; the text is K, then "-" and K - wi for each word, all in signed decimal
// with 32-bit wrap-around.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantry::common {

inline constexpr std::size_t kMaskedPasswordLength = 16;

// The pseudo-random number (0..32767) that follows seeding with seed: the classic C library
// generator, so that a save time fully determines the stored text.
uint32_t maskRandom(uint32_t seed);

// The stored text of password at save time nowSeconds.
std::string maskPassword(std::string_view password, uint32_t nowSeconds);

// The password of a stored text. An empty text gives an empty password; a text without any
// '-' gives no password (nullopt). Numbers that are themselves negative ("--5") are read as
// such, so texts made after the 32-bit time wraps, or of passwords with non-ASCII bytes, come
// back unchanged. Trailing blanks are removed.
std::optional<std::string> unmaskPassword(std::string_view text);

} // namespace vantry::common
