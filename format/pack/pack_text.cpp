#include "format/pack/pack_text.h"

#include "format/pack/cp932.h"
#include "format/pack/xor_chain.h"

namespace {


bool same_code(const cp932_code& code, std::span<const std::uint8_t> bytes)
{
    return code.length == bytes.size() && code.bytes[0] == bytes[0] && (bytes.size() == 1 || code.bytes[1] == bytes[1]);
}

} // namespace

void pack_text_of(std::span<const std::uint8_t> bytes, std::string& text)
{
    text.clear();
    std::size_t k = 0;
    while (k < bytes.size()) {
        const std::uint8_t b = bytes[k];
        if (b == line_feed) {
            text += '\n';
            ++k;
            continue;
        }
        // A pair where the next byte can be a trail byte, a lone byte otherwise.
        const bool pair = cp932_is_lead(b) && k + 1 < bytes.size() && bytes[k + 1] >= 0x40 && bytes[k + 1] <= 0xFC &&
                          bytes[k + 1] != 0x7F;
        const std::span<const std::uint8_t> code = bytes.subspan(k, pair ? 2 : 1);
        const char32_t c = pair ? cp932_pair(b, bytes[k + 1]) : cp932_single(b);
        const bool control = !pair && (b < 0x20 || b == 0x7F);
        if (c != 0 && !control && same_code(cp932_encode(c), code))
            append_character(text, c, code);
        else
            append_escape(text, code);
        k += code.size();
    }
}

text_fault pack_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    bytes.clear();
    text_unit unit;
    at = 0;
    while (at < text.size()) {
        const text_fault fault = read_text_unit(text, at, unit);
        if (fault != text_fault::none)
            return fault;
        if (append_unit_bytes(unit, std::span(&line_feed, 1), bytes))
            continue;
        const cp932_code code = cp932_encode(unit.character);
        if (code.length == 0) {
            at = unit.at;
            return text_fault::no_code;
        }
        bytes.insert(bytes.end(), code.bytes, code.bytes + code.length);
    }
    return text_fault::none;
}

status pack_string_bytes(const pack_image& image, std::uint64_t start, std::vector<std::uint8_t>& bytes,
                         std::uint64_t* end)
{
    bytes.clear();
    if (image.num_nodes > 0) {
        huff_reader reader{start};
        huff_symbol symbol{};
        for (;;) {
            const status s = huff_next(image, reader, symbol);
            if (failed(s))
                return s;
            if (symbol.symbol == end_mark) {
                if (end)
                    *end = reader.position;
                return {};
            }
            bytes.push_back(symbol.symbol);
        }
    }
    xor_reader reader{start};
    std::uint8_t byte = 0;
    for (;;) {
        const xor_step step = xor_next(image.data, reader, byte);
        if (step == xor_step::end) {
            if (end)
                *end = reader.position;
            return {};
        }
        if (step == xor_step::data_end)
            return fail(failure::decode_overrun);
        if (step == xor_step::bad_trail)
            return fail(failure::illegal_sjis);
        bytes.push_back(byte);
    }
}
