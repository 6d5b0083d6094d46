#pragma once
// The one readable notation for the bytes of a string. Example sources, test case
// files and exported PO files all write texts this way:
//   - a character stands for its one canonical code in the string's encoding (the
//     archive's character map, or Shift-JIS for a pack);
//   - a line feed stands for the game's line break (backslash-n in the archive, the
//     byte 0x0A in a pack);
//   - "{" opens an escape of raw bytes in hexadecimal, one per code: "{0A}", "{01 79}".
//     A literal "{" is therefore "{7B}".
// Every byte string has exactly one text: bytes that have no canonical character are
// written as escapes. This file holds what the encodings share: UTF-8, escapes and the
// units of a text, and the C-style quoting that line-based files and PO files put
// around a text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The value of a hexadecimal digit (either case), or -1.
int hex_value(char c);

// UTF-8. read_utf8 returns the length of the well-formed character at text[at] (no
// surrogates, no overlong forms), or 0.
void append_utf8(std::string& out, char32_t c);
std::size_t read_utf8(std::string_view text, std::size_t at, char32_t& c);

// Writes character `c` whose code is `code`: the character itself, or the escape of
// its code where the character would open an escape.
void append_character(std::string& out, char32_t c, std::span<const std::uint8_t> code);
// Writes the escape "{XX XX}" of `code`.
void append_escape(std::string& out, std::span<const std::uint8_t> code);

// One unit of a text: raw bytes from an escape, the game's line break, or a character.
enum class text_unit_kind { escape, line_break, character };
// What is wrong with a text as the stored form of a string. The first four are faults
// of the notation; no_code is a character the encoding lacks; the rest are bytes that
// the form cannot store, found by reading the stored form back as the game does.
enum class text_fault {
    none,
    bad_utf8,
    bad_escape,
    no_code,
    control,
    end_byte,        // an archive text holds the end byte 1F
    lead_before_end, // an archive text ends in a lead byte, which takes the end byte
    mark_in_text,    // a Huffman pack's text holds the end mark 7C
    bad_trail,       // an exclusive-or pack's lead byte without a valid trail byte
    lead_before_mark,// an exclusive-or pack's text ends in a lead byte, which takes the end mark
    lone_end_mark,   // an exclusive-or pack's text holds 7C outside a pair
    spelled_break,   // an archive text spells the line break as a backslash and an n
    reads_back,      // the stored bytes read back as another text (read_back)
};
// The bytes of a unit, held in place up to `inline_size` (a character's code always),
// in `spilled` beyond: reading a text allocates nothing per character.
struct unit_bytes {
    static constexpr std::size_t inline_size = 6;
    std::uint8_t held[inline_size] = {};
    std::uint8_t count = 0;              // the bytes in `held`, when none spilled
    std::vector<std::uint8_t> spilled;

    std::size_t size() const { return spilled.empty() ? count : spilled.size(); }
    bool empty() const { return size() == 0; }
    const std::uint8_t* data() const { return spilled.empty() ? held : spilled.data(); }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    void clear()
    {
        count = 0;
        spilled.clear();
    }
    void push_back(std::uint8_t b)
    {
        if (spilled.empty() && count < inline_size) {
            held[count++] = b;
            return;
        }
        if (spilled.empty())
            spilled.assign(held, held + count);
        spilled.push_back(b);
    }
    template <typename It> void assign(It first, It last)
    {
        clear();
        for (; first != last; ++first)
            push_back(*first);
    }
};

struct text_unit {
    text_unit_kind kind;
    char32_t character; // the character of a character unit
    std::size_t at;     // where the unit starts in the text
    unit_bytes bytes;   // the bytes of an escape, or a character's code
};
// Reads the unit at text[at] and moves `at` past it. Returns none, or bad_utf8 or
// bad_escape with `at` left at the unit. Control characters other than the line feed
// are refused (control): they are written as escapes.
text_fault read_text_unit(std::string_view text, std::size_t& at, text_unit& unit);

// A fault of a text, at byte `at` of the text (the start of the unit it concerns).
struct text_problem {
    text_fault fault = text_fault::none;
    std::size_t at = 0;
    std::string read_back; // reads_back: the text the stored bytes read back as
};

// A text's bytes as an encoding codes them, with where each unit's bytes start.
struct coded_text {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> unit_at, unit_byte; // each unit: its place in the text, its first byte
    std::vector<text_problem> problems;           // in the order of the text
};

// Reads every unit of `text` into `units`; a faulty unit is recorded in `problems` and
// skipped. The encoding then puts the code of each character unit into its `bytes`
// (none when it has no code) before join_text_units.
void read_text_units(std::string_view text, std::vector<text_unit>& units, std::vector<text_problem>& problems);

// Joins the units' bytes into `coded` (a line break as `line_break`), recording where
// each unit starts; a character unit without bytes has no code (a no_code problem).
// `coded.problems` (which holds `problems` after it) is then in the order of the text.
void join_text_units(std::span<const text_unit> units, std::span<const std::uint8_t> line_break,
                     std::vector<text_problem>& problems, coded_text& coded);

// The first fault of `coded` (none: `at` is the text's size), its bytes moved to `bytes`.
text_fault first_fault(coded_text&& coded, std::size_t text_size, std::vector<std::uint8_t>& bytes, std::size_t& at);

// The first byte of the unit that holds byte `k` of coded.bytes: where a fault of that
// byte is shown.
std::size_t unit_of_byte(const coded_text& coded, std::size_t k);

// Adds a reads_back problem when `back`, the text of the stored bytes, is not `text`,
// at the first character where they differ; `spelled_break` when the text has a
// backslash where the game reads a line break.
void compare_read_back(std::string_view text, std::string_view back, bool spelled_break, coded_text& coded);

// The reason of a problem, as kx_text shows it.
std::string text_problem_text(const text_problem& problem, std::string_view text);

// The position of byte `at` of a UTF-8 text in characters, counted from 1.
std::size_t character_column(std::string_view text, std::size_t at);

// C-style quoting, as in PO files: "..." with \n, \t, \r, \", \\ and octal escapes for
// other control characters.
void append_quoted(std::string& out, std::string_view text);
// Reads the quoted string that starts at line[at] (a double quote) into `text` and moves
// `at` past its closing quote. Besides the escapes above it reads \a \b \f \v, \xHH and
// \ooo. Returns false, with `at` at the fault, for a missing quote or a bad escape.
bool read_quoted(std::string_view line, std::size_t& at, std::string& text);
