// The inverse of the character map: each character's one canonical code.
#include <algorithm>
#include <utility>

#include "format/archive/char_map.h"

char32_t game_character(std::size_t entry)
{
    const std::string_view e = char_map[entry];
    if (e == char_map_mark)
        return 0;
    // Every entry is one character of three UTF-8 bytes.
    return static_cast<char32_t>(((static_cast<unsigned char>(e[0]) & 0x0Fu) << 12) |
                                 ((static_cast<unsigned char>(e[1]) & 0x3Fu) << 6) |
                                 (static_cast<unsigned char>(e[2]) & 0x3Fu));
}

namespace {

struct coded_character {
    char32_t character;
    std::uint16_t entry;
};

// Every character with its entry, sorted by character; built once.
const std::array<coded_character, char_map_size>& characters_by_value()
{
    static const std::array<coded_character, char_map_size> table = [] {
        std::array<coded_character, char_map_size> t{};
        for (std::size_t e = 0; e < char_map_size; ++e)
            t[e] = {game_character(e), static_cast<std::uint16_t>(e)};
        // Among codes of one character the lower entry sorts first; ー (entries 0x10
        // and 0x30) is then set to its katakana code below.
        std::sort(t.begin(), t.end(), [](const coded_character& a, const coded_character& b) {
            return std::pair(a.character, a.entry) < std::pair(b.character, b.entry);
        });
        return t;
    }();
    return table;
}

constexpr char32_t prolonged_sound_mark = U'ー';
constexpr std::uint8_t prolonged_sound_code = 0xB0;

} // namespace

game_char_code game_code_of(char32_t c)
{
    if (c >= 0x20 && c <= 0x7E)
        return {1, {static_cast<std::uint8_t>(c), 0}};
    if (c == prolonged_sound_mark)
        return {1, {prolonged_sound_code, 0}};
    if (c == 0)
        return {0, {0, 0}};
    const auto& table = characters_by_value();
    const auto found = std::lower_bound(table.begin(), table.end(), c,
                                        [](const coded_character& a, char32_t v) { return a.character < v; });
    if (found == table.end() || found->character != c)
        return {0, {0, 0}};
    if (found->entry < 128)
        return {1, {static_cast<std::uint8_t>(0x80 + found->entry), 0}};
    const unsigned two = found->entry - 128u;
    return {2, {static_cast<std::uint8_t>(1 + two / 256), static_cast<std::uint8_t>(two % 256)}};
}
