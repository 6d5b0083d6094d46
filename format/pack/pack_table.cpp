// Character tables for a pack: which codes a table may give in each form, the whole
// listing of code page 932 as the form holds it, and string bytes shown through a table.
#include "format/pack/cp932.h"
#include "format/pack/pack_text.h"

namespace {

// Why a table may not give `code` in `form`, or none.
failure code_fault(pack_form form, std::span<const std::uint8_t> code)
{
    if (code.size() == 2 && (!cp932_is_lead(code[0]) || !cp932_is_trail(code[1])))
        return failure::table_not_one_code;
    if (code.size() == 2)
        return form == pack_form::huffman && code[1] == end_mark ? failure::table_end_in_code : failure::none;
    if (code.size() != 1)
        return failure::table_not_one_code;
    if (code[0] == end_mark)
        return failure::table_end_byte;
    if (code[0] == line_feed)
        return failure::table_line_feed;
    return form == pack_form::xor_chain && cp932_is_lead(code[0]) ? failure::table_lone_lead : failure::none;
}

void write_code(pack_form form, text_output& out, std::span<const std::uint8_t> code, bool canonical)
{
    const char32_t c = code.size() == 2 ? cp932_pair(code[0], code[1]) : cp932_single(code[0]);
    const bool control = code.size() == 1 && (code[0] < 0x20 || code[0] == 0x7F);
    if (c != 0 && !control && c != U'{' && c != U'}' && code_fault(form, code) == failure::none &&
        (pack_shown_character(code) != 0) == canonical)
        write_table_line(out, code, c);
}

} // namespace

status check_pack_table(pack_form form, const char_table& table)
{
    for (const char_table_entry& entry : table.entries) {
        status s{};
        if (entry.kind == table_line_kind::line_break && entry.code != std::vector<std::uint8_t>{line_feed})
            s = table_fault(failure::table_other_break, {entry.kind, {line_feed}, {}, entry.line});
        else if (entry.kind == table_line_kind::end && entry.code != std::vector<std::uint8_t>{end_mark})
            s = table_fault(failure::table_other_end, {entry.kind, {end_mark}, {}, entry.line});
        else if (entry.kind == table_line_kind::text)
            s = table_fault(code_fault(form, entry.code), entry);
        if (failed(s)) {
            s.byte = end_mark;
            return s;
        }
    }
    return {};
}

void write_pack_table(pack_form form, text_output& out)
{
    for (const bool canonical : {true, false}) {
        for (unsigned b = 0x20; b < 256; ++b) { // the bytes below are control bytes
            const std::uint8_t single = static_cast<std::uint8_t>(b);
            write_code(form, out, std::span(&single, 1), canonical);
        }
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const std::uint8_t pair[2] = {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
                if (cp932_is_lead(pair[0]) && cp932_is_trail(pair[1]))
                    write_code(form, out, pair, canonical);
            }
    }
    write_table_ends(out, std::span(&line_feed, 1), end_mark);
}

void pack_text_of(const char_table& table, std::span<const std::uint8_t> bytes, std::string& text)
{
    if (table.by_code.empty()) {
        pack_text_of(bytes, text);
        return;
    }
    table_decoding decoding;
    for (std::size_t k = 0; k < bytes.size();) {
        const std::size_t length = bytes[k] == line_feed ? 1 : pack_code_length(bytes, k);
        add_table_code(table, bytes, k, length, bytes[k] == line_feed, pack_shown_character(bytes.subspan(k, length)),
                       decoding);
        k += length;
    }
    std::vector<text_problem> none; // the text is the codes' texts: it has no faults
    read_text_units(decoding.text, decoding.units, none);
    pack_unit_codes(decoding.units);
    table_decoded_text(table, bytes, decoding, text);
}
