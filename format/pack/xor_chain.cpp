// The exclusive-or chained form of a packed file without a code tree: one stored byte
// per text byte, each the text byte XOR the one before it. Its reader is xor_chain.h.
#include "format/pack/pack.h"
#include "format/pack/xor_chain.h"

void xor_encode(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out)
{
    std::uint8_t previous = 0;
    for (std::uint8_t byte : text) {
        out.push_back(static_cast<std::uint8_t>(byte ^ previous));
        previous = byte;
    }
    out.push_back(static_cast<std::uint8_t>(end_mark ^ previous));
}
