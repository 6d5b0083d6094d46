#pragma once
// Eight bytes in the lanes of a 64-bit word, byte k in bits 8k to 8k+7, for the readers
// that take eight bytes a step. A test of all lanes at once sets the top bit of each
// lane for which it holds; no lane carries into the next, as every sum below is of two
// lanes whose top bits are clear.
#include <cstdint>

inline constexpr std::uint64_t lanes_of(unsigned byte) { return 0x0101010101010101u * byte; }
inline constexpr std::uint64_t lane_tops = lanes_of(0x80);
inline constexpr std::uint64_t lane_lows = lanes_of(0x7F);

// The eight bytes from `p` on, p[0] in lane 0.
inline std::uint64_t load_lanes(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(p[7]) << 56 | static_cast<std::uint64_t>(p[6]) << 48 |
           static_cast<std::uint64_t>(p[5]) << 40 | static_cast<std::uint64_t>(p[4]) << 32 |
           static_cast<std::uint64_t>(p[3]) << 24 | static_cast<std::uint64_t>(p[2]) << 16 |
           static_cast<std::uint64_t>(p[1]) << 8 | static_cast<std::uint64_t>(p[0]);
}

// Writes the lanes of `x` to into[0] to into[7] (one store, as compilers merge them).
inline void store_lanes(char* into, std::uint64_t x)
{
    into[0] = static_cast<char>(x);
    into[1] = static_cast<char>(x >> 8);
    into[2] = static_cast<char>(x >> 16);
    into[3] = static_cast<char>(x >> 24);
    into[4] = static_cast<char>(x >> 32);
    into[5] = static_cast<char>(x >> 40);
    into[6] = static_cast<char>(x >> 48);
    into[7] = static_cast<char>(x >> 56);
}

// The lanes of `x` below `c` (1 to 128).
inline std::uint64_t lanes_below(std::uint64_t x, unsigned c)
{
    return ~((x & lane_lows) + lanes_of(0x80 - c)) & ~x & lane_tops;
}

inline std::uint64_t lanes_equal(std::uint64_t x, std::uint8_t c) { return lanes_below(x ^ lanes_of(c), 1); }

// The top bits of the lanes of `tops` (no other bits set) as eight bits, lane k in bit k.
inline unsigned lane_bits(std::uint64_t tops)
{
    return static_cast<unsigned>(((tops >> 7) * 0x0102040810204080u) >> 56);
}
