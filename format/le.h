#pragma once
// Little-endian fields. Every multi-byte field of both file formats is read and written
// through these, byte by byte: no alignment is needed and the host's byte order does not
// matter. Readers: the caller guarantees that the bytes lie inside its buffer.
#include <cstdint>
#include <vector>

inline std::uint16_t read_u16le(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t read_u32le(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void write_u16le(std::uint8_t* p, std::uint16_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void write_u32le(std::uint8_t* p, std::uint32_t value)
{
    write_u16le(p, static_cast<std::uint16_t>(value));
    write_u16le(p + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void append_u16le(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The first position that a 32-bit offset or size cannot name: files and tables of the
// formats end at or below it (4 GiB).
inline constexpr std::uint64_t offset_limit = std::uint64_t{1} << 32;
