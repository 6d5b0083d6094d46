#include "format/pack/cp932.h"

#include <algorithm>

// Decoding indexes cp932_pair_chars by lead row and trail. Encoding searches
// cp932_pair_codes, where a character sits in the high half of its entry: the first
// entry not below c << 16 is c's own if c has a pair. Duplicate pairs that are not
// canonical appear only in the decode table.

static constexpr std::uint8_t first_trail = 0x40;
static constexpr std::uint8_t first_kana = 0xA1;
static constexpr std::uint8_t last_kana = 0xDF;
static constexpr char32_t first_kana_char = 0xFF61;
static constexpr char32_t last_kana_char = 0xFF9F;

char32_t cp932_single(std::uint8_t byte)
{
    if (byte < 0x80)
        return byte;
    if (byte >= first_kana && byte <= last_kana)
        return first_kana_char + static_cast<char32_t>(byte - first_kana);
    return 0;
}

// The row of cp932_pair_chars of a lead byte.
static std::size_t lead_row(std::uint8_t lead)
{
    return lead <= 0x9F ? std::size_t{lead} - 0x81 : std::size_t{lead} - 0xE0 + 31;
}

char32_t cp932_pair(std::uint8_t lead, std::uint8_t trail)
{
    if (!cp932_is_lead(lead) || !cp932_is_trail(trail))
        return 0;
    return cp932_pair_chars[lead_row(lead)][trail - first_trail];
}

cp932_code cp932_encode(char32_t c)
{
    cp932_code code{};
    if (c < 0x80) {
        code.length = 1;
        code.bytes[0] = static_cast<std::uint8_t>(c);
    } else if (c >= first_kana_char && c <= last_kana_char) {
        code.length = 1;
        code.bytes[0] = static_cast<std::uint8_t>(c - first_kana_char + first_kana);
    } else if (c <= 0xFFFF) {
        const std::uint32_t key = static_cast<std::uint32_t>(c) << 16;
        const std::uint32_t* end = cp932_pair_codes + cp932_pair_code_count;
        const std::uint32_t* found = std::lower_bound(cp932_pair_codes, end, key);
        if (found != end && (*found >> 16) == c) {
            code.length = 2;
            code.bytes[0] = static_cast<std::uint8_t>(*found >> 8);
            code.bytes[1] = static_cast<std::uint8_t>(*found);
        }
    }
    return code;
}
