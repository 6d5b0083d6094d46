#include "format/pack/pack_text.h"

#include "format/pack/cp932.h"
#include "format/pack/huffman.h"
#include "format/pack/xor_chain.h"

namespace {


// The place of a pair among the pairs of a lead byte's row.
std::size_t pair_index(std::uint8_t lead, std::uint8_t trail)
{
    const std::size_t row = lead <= 0x9F ? std::size_t{lead} - 0x81 : std::size_t{lead} - 0xE0 + 31;
    return row * cp932_trail_count + (trail - 0x40u);
}

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
            const cp932_code code = pack_canonical_code(unit.character);
            unit.bytes.assign(code.bytes, code.bytes + code.length);
        }
}

std::size_t pack_code_length(std::span<const std::uint8_t> bytes, std::size_t k)
{
    return cp932_is_lead(bytes[k]) && k + 1 < bytes.size() && cp932_is_trail(bytes[k + 1]) ? 2 : 1;
}

namespace {

// The text of a code as pack_text_of writes it: its canonical character in UTF-8, or its
// escape (at most "{XX XX}").
struct code_text {
    std::uint8_t length;
    char text[7];
};

// The texts of the single bytes, then of the pairs (lead row * 189 + trail - 0x40);
// built once from pack_shown_character.
std::span<const code_text> code_texts()
{
    static const std::vector<code_text> table = [] {
        std::vector<code_text> t(256 + cp932_lead_count * cp932_trail_count);
        std::string one;
        const auto set = [&](std::size_t at, std::span<const std::uint8_t> code) {
            one.clear();
            if (const char32_t c = pack_shown_character(code); c != 0)
                append_character(one, c, code);
            else
                append_escape(one, code);
            t[at].length = static_cast<std::uint8_t>(one.size());
            one.copy(t[at].text, one.size());
        };
        for (unsigned b = 0; b < 256; ++b) {
            const std::uint8_t single = static_cast<std::uint8_t>(b);
            set(b, std::span(&single, 1));
        }
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const std::uint8_t pair[2] = {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
                if (cp932_is_lead(pair[0]))
                    set(256 + pair_index(pair[0], pair[1]), pair);
            }
        return t;
    }();
    return table;
}

// Each character's canonical code (cp932_encode), for the characters up to U+FFFF (every
// character with a code); built once.
std::span<const cp932_code> codes_by_character()
{
    static const std::vector<cp932_code> table = [] {
        std::vector<cp932_code> t(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            t[c] = cp932_encode(c);
        return t;
    }();
    return table;
}

} // namespace

cp932_code pack_canonical_code(char32_t c)
{
    return c < 0x10000 ? codes_by_character()[c] : cp932_code{};
}

void pack_text_of(std::span<const std::uint8_t> bytes, std::string& text)
{
    text.clear();
    const std::span<const code_text> texts = code_texts();
    const std::size_t n = bytes.size();
    for (std::size_t k = 0; k < n;) {
        const std::uint8_t b = bytes[k];
        if (b == line_feed) {
            text += '\n';
            ++k;
            continue;
        }
        if (cp932_is_lead(b) && k + 1 < n && cp932_is_trail(bytes[k + 1])) {
            const code_text& t = texts[256 + pair_index(b, bytes[k + 1])];
            text.append(t.text, t.length);
            k += 2;
            continue;
        }
        const code_text& t = texts[b];
        if (t.length == 1)
            text += t.text[0];
        else
            text.append(t.text, t.length);
        ++k;
    }
}

void pack_text_of_reference(std::span<const std::uint8_t> bytes, std::string& text)
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

namespace {

// Whether an exclusive-or step ends the string: at its end mark (`end` receives the
// position after it) or with the failure in `s`.
bool string_ends(xor_step step, const xor_reader& reader, std::uint64_t* end, status& s)
{
    if (step == xor_step::end && end)
        *end = reader.position;
    s = step == xor_step::data_end    ? fail(failure::decode_overrun)
        : step == xor_step::bad_trail ? fail(failure::illegal_sjis)
                                      : status{};
    return step != xor_step::byte;
}

} // namespace

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
        status s;
        if (string_ends(xor_next(image.data, reader, byte), reader, end, s))
            return s;
        bytes.push_back(byte);
    }
}

namespace {

// The 64 bits from `p` on, the first on top.
std::uint64_t load_bits(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(p[0]) << 56 | static_cast<std::uint64_t>(p[1]) << 48 |
           static_cast<std::uint64_t>(p[2]) << 40 | static_cast<std::uint64_t>(p[3]) << 32 |
           static_cast<std::uint64_t>(p[4]) << 24 | static_cast<std::uint64_t>(p[5]) << 16 |
           static_cast<std::uint64_t>(p[6]) << 8 | static_cast<std::uint64_t>(p[7]);
}

} // namespace

status pack_string_bytes(const pack_image& image, const huff_table& table, std::uint64_t start,
                         std::vector<std::uint8_t>& bytes, std::uint64_t* end)
{
    if (pack_form_of(image) != pack_form::huffman) {
        // Eight bytes a step where none can end the string or fail; the rest one by one.
        bytes.clear();
        xor_reader reader{start};
        std::uint8_t byte = 0;
        for (;;) {
            const std::size_t had = bytes.size();
            bytes.resize(had + 64);
            bytes.resize(had + xor_next_words(image.data, reader, reinterpret_cast<char*>(bytes.data() + had), 64));
            status s;
            if (string_ends(xor_next(image.data, reader, byte), reader, end, s))
                return s;
            bytes.push_back(byte);
        }
    }
    if (!table.entries)
        return pack_string_bytes(image, start, bytes, end);
    // A table entry at a time while eight bytes are ahead (every byte its words load is
    // there); else, for a word that fails or is longer and for the end mark's, the bit
    // walk takes one word from the state it would be in between two words.
    bytes.clear();
    const std::uint8_t* const data = image.data.data();
    const std::uint64_t size = image.data.size();
    const huff_entry* const entries = table.entries.get();
    std::uint64_t bit = 8 * start;
    for (;;) {
        if (bit / 8 + 8 <= size) {
            const huff_entry& e = entries[(load_bits(data + bit / 8) << (bit % 8)) >> (64 - huff_table_bits)];
            if (e.count != 0) {
                bytes.insert(bytes.end(), e.symbols, e.symbols + e.count);
                bit += e.bits;
                continue;
            }
        }
        // (Only a string's start can lie past the data; the bit walk fails there.)
        const std::uint64_t at = bit / 8;
        huff_reader reader = at < size ? huff_reader{at + 1, image.data[at], static_cast<unsigned>(bit % 8)} : huff_reader{at};
        huff_symbol symbol{};
        if (const status s = huff_next(image, reader, symbol); failed(s))
            return s;
        if (symbol.symbol == end_mark) {
            if (end)
                *end = reader.position;
            return {};
        }
        bytes.push_back(symbol.symbol);
        bit = 8 * (reader.position - 1) + reader.bit;
    }
}
