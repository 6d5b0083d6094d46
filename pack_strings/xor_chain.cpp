// The exclusive-or chained form of a packed file without a code tree: one stored byte
// per text byte, each the text byte XOR the one before it. The text is Shift-JIS, and
// the end mark ends a string only where it is not the trail byte of a pair.
#include "pack_strings/cp932.h"
#include "pack_strings/pack.h"

xor_step xor_next(std::span<const std::uint8_t> data, xor_reader& reader, std::uint8_t& byte)
{
    if (reader.position >= data.size())
        return xor_step::data_end;
    reader.current = static_cast<std::uint8_t>(reader.current ^ data[reader.position++]);
    byte = reader.current;
    if (byte == end_mark && !reader.trail_expected)
        return xor_step::end;
    if (reader.trail_expected) {
        reader.trail_expected = false;
        if (byte < 0x40 || byte > 0xFC || byte == 0x7F)
            return xor_step::bad_trail;
    } else {
        reader.trail_expected = cp932_is_lead(byte);
    }
    return xor_step::byte;
}

void xor_encode(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out)
{
    std::uint8_t previous = 0;
    for (std::uint8_t byte : text) {
        out.push_back(static_cast<std::uint8_t>(byte ^ previous));
        previous = byte;
    }
    out.push_back(static_cast<std::uint8_t>(end_mark ^ previous));
}
