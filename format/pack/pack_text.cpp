#include "format/pack/pack_text.h"

#include "format/pack/cp932.h"
#include "format/pack/huffman.h"
#include "format/pack/xor_chain.h"

namespace {


bool same_code(const cp932_code& code, std::span<const std::uint8_t> bytes)
{
    return code.length == bytes.size() && code.bytes[0] == bytes[0] && (bytes.size() == 1 || code.bytes[1] == bytes[1]);
}

} // namespace

char32_t pack_shown_character(std::span<const std::uint8_t> code)
{
    const bool pair = code.size() == 2;
    const char32_t c = pair ? cp932_pair(code[0], code[1]) : cp932_single(code[0]);
    const bool control = !pair && (code[0] < 0x20 || code[0] == 0x7F);
    return c != 0 && !control && same_code(cp932_encode(c), code) ? c : 0;
}

void pack_unit_codes(std::vector<text_unit>& units)
{
    for (text_unit& unit : units)
        if (unit.kind == text_unit_kind::character) {
            const cp932_code code = cp932_encode(unit.character);
            unit.bytes.assign(code.bytes, code.bytes + code.length);
        }
}

std::size_t pack_code_length(std::span<const std::uint8_t> bytes, std::size_t k)
{
    return cp932_is_lead(bytes[k]) && k + 1 < bytes.size() && cp932_is_trail(bytes[k + 1]) ? 2 : 1;
}

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
        const std::span<const std::uint8_t> code = bytes.subspan(k, pack_code_length(bytes, k));
        if (const char32_t c = pack_shown_character(code); c != 0)
            append_character(text, c, code);
        else
            append_escape(text, code);
        k += code.size();
    }
}

void pack_text_bytes(const char_table& table, std::string_view text, coded_text& coded)
{
    coded = coded_text{};
    std::vector<text_unit> units;
    std::vector<text_problem> problems;
    read_text_units(text, units, problems);
    pack_unit_codes(units);
    apply_char_table(table, text, units);
    join_text_units(units, std::span(&line_feed, 1), problems, coded);
}

void pack_text_bytes(std::string_view text, coded_text& coded) { pack_text_bytes(char_table{}, text, coded); }

text_fault pack_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    coded_text coded;
    pack_text_bytes(text, coded);
    return first_fault(std::move(coded), text.size(), bytes, at);
}

void pack_stored_bytes(pack_form form, std::string_view text, coded_text& coded)
{
    pack_stored_bytes(form, char_table{}, text, coded);
}

void pack_stored_bytes(pack_form form, const char_table& table, std::string_view text, coded_text& coded)
{
    pack_text_bytes(table, text, coded);
    if (!coded.problems.empty())
        return;
    const std::vector<std::uint8_t>& bytes = coded.bytes;
    const auto problem = [&](text_fault fault, std::size_t k) { coded.problems.push_back({fault, unit_of_byte(coded, k), {}}); };
    if (form == pack_form::huffman) {
        for (std::size_t k = 0; k < bytes.size(); ++k)
            if (bytes[k] == end_mark)
                problem(text_fault::mark_in_text, k);
    } else {
        // As the exclusive-or reader reads them: 7C outside a pair ends the string, and a
        // lead byte needs a trail byte.
        bool trail_expected = false;
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            if (trail_expected) {
                trail_expected = false;
                if (!cp932_is_trail(bytes[k]))
                    problem(text_fault::bad_trail, k - 1);
            } else if (bytes[k] == end_mark) {
                problem(text_fault::lone_end_mark, k);
            } else {
                trail_expected = cp932_is_lead(bytes[k]);
            }
        }
        if (trail_expected)
            problem(text_fault::lead_before_mark, bytes.size() - 1);
    }
    if (!coded.problems.empty())
        return;
    std::string back;
    pack_text_of(table, bytes, back);
    compare_read_back(text, back, false, coded);
}

status pack_string_bytes(const pack_image& image, std::uint64_t start, std::vector<std::uint8_t>& bytes,
                         std::uint64_t* end)
{
    bytes.clear();
    if (pack_form_of(image) == pack_form::huffman) {
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
