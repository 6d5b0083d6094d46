#pragma once
// Reading the exclusive-or chained form of a packed file: each stored byte is folded
// into a running value, which is the next text byte. The text is Shift-JIS, and the
// end mark ends a string only where it is not the trail byte of a pair.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/lanes.h"
#include "format/pack/cp932.h"
#include "format/pack/pack.h"

// Where a string is being read: the running value (the text byte last read) and
// whether the next byte must be a Shift-JIS trail byte.
struct xor_reader {
    std::uint64_t position;
    std::uint8_t current = 0;
    bool trail_expected = false;
};

enum class xor_step {
    byte,      // `byte` holds the next text byte
    bad_trail, // `byte` holds the next text byte, which should have been a trail byte
    end,       // the end mark: the string is complete
    data_end,  // the data ended before the end mark
};

// The stored form of `text` and its end mark, chained by exclusive or: stored byte k
// is text byte k XOR text byte k-1.
void xor_encode(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out);

// Reads the next text byte.
inline xor_step xor_next(std::span<const std::uint8_t> data, xor_reader& reader, std::uint8_t& byte)
{
    if (reader.position >= data.size())
        return xor_step::data_end;
    reader.current = static_cast<std::uint8_t>(reader.current ^ data[reader.position++]);
    byte = reader.current;
    if (byte == end_mark && !reader.trail_expected)
        return xor_step::end;
    if (reader.trail_expected) {
        reader.trail_expected = false;
        if (!cp932_is_trail(byte))
            return xor_step::bad_trail;
    } else {
        reader.trail_expected = cp932_is_lead(byte);
    }
    return xor_step::byte;
}

// Reads text bytes eight at a time into `into`, which has room for at least `room`,
// while eight stored bytes remain and every text byte is one that can neither end the
// string, be a line feed nor fail as a trail byte, whichever of them are lead and trail
// bytes: one of 0x40 to 0xFB but 0x7C to 0x7F (the test takes the rare 0x7D, 0x7E and
// 0xFC for bytes of the other kind). The bytes of a word before the first of the other
// kind are read too. Returns the number of bytes read; the caller reads the next by
// xor_next.
inline std::size_t xor_next_words(std::span<const std::uint8_t> data, xor_reader& reader, char* into,
                                  std::size_t room)
{
    const std::uint64_t left = data.size() - std::min<std::uint64_t>(reader.position, data.size());
    const std::uint8_t* p = data.data() + reader.position;
    std::uint8_t current = reader.current; // kept in a local: `into` could alias the reader
    std::size_t done = 0;
    // The lead bytes known to end the bytes read, and whether those before may be more.
    std::size_t leads = 0;
    bool more_leads = true;
    for (std::uint64_t words = std::min<std::uint64_t>(room, left) / 8; words > 0; --words, p += 8) {
        std::uint64_t folded = load_lanes(p);
        // Text byte k is the running value folded with stored bytes 0 to k.
        folded ^= folded << 8;
        folded ^= folded << 16;
        folded ^= folded << 32;
        const std::uint64_t x = folded ^ lanes_of(current);
        const std::uint64_t below_40 = ~(x | x << 1);                   // top two bits clear
        const std::uint64_t from_7c = (x & lane_lows) + lanes_of(0x04); // low seven bits 0x7C and up
        const std::uint64_t other = (below_40 | from_7c) & lane_tops;
        store_lanes(into + done, x);
        if (other == 0) {
            done += 8;
            current = static_cast<std::uint8_t>(current ^ folded >> 56);
            continue;
        }
        const int taken = std::countr_zero(other) / 8;
        if (taken > 0) {
            done += static_cast<unsigned>(taken);
            current = static_cast<std::uint8_t>(x >> (8 * (taken - 1)));
            // Lead bytes, 0x81-0x9F and 0xE0-0xFC: top bit set, the next two equal, and
            // not 0x80 (0xFD-0xFF are not among the bytes taken).
            const std::uint64_t is_80 = x & ~((x & lane_lows) + lane_lows);
            const std::uint64_t lead_lanes = x & ~(x << 1 ^ x << 2) & ~is_80 & lane_tops;
            leads = static_cast<std::size_t>(std::countl_one(lead_lanes << (64 - 8 * taken) | ~lane_tops) / 8);
            more_leads = leads == static_cast<std::size_t>(taken);
        }
        break;
    }
    if (done == 0)
        return 0;
    // The lead bytes that end the bytes read alternate with their trail bytes, from the
    // first after a byte that is not a lead byte, or from the state before them.
    while (more_leads && leads < done && cp932_is_lead(static_cast<std::uint8_t>(into[done - 1 - leads])))
        ++leads;
    reader.trail_expected = ((leads == done ? done - reader.trail_expected : leads) & 1) != 0;
    reader.current = current;
    reader.position += done;
    return done;
}
