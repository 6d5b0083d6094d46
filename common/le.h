#pragma once
// Little-endian field readers. Every multi-byte field of both file formats is read
// through these, byte by byte: no alignment is needed and the host's byte order
// does not matter. The caller guarantees that the bytes lie inside its buffer.
#include <cstdint>

inline std::uint16_t read_u16le(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t read_u32le(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
