#pragma once
// The text of a packed file's strings: their bytes read as Shift-JIS in its Windows
// form (code page 932), in the text notation. A character is written only for its
// canonical code; unassigned pairs, pairs that are not the canonical code of their
// character, bytes that stand for no character and control bytes are escapes. The line
// feed 0x0A is the game's line break.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/char_table.h"
#include "format/pack/cp932.h"
#include "format/pack/huffman.h"
#include "format/notation.h"
#include "format/pack/pack.h"

void pack_text_of(std::span<const std::uint8_t> bytes, std::string& text);
// The same, a code at a time through pack_shown_character: the reference of the
// table lookups of pack_text_of.
void pack_text_of_reference(std::span<const std::uint8_t> bytes, std::string& text);
// The canonical code of a character (cp932_encode), by table lookup.
cp932_code pack_canonical_code(char32_t c);
// With a table, each code as the table's text where that text is stored as the code
// again (table_decoded_text).
void pack_text_of(const char_table& table, std::span<const std::uint8_t> bytes, std::string& text);

// The number of bytes of the code at bytes[k]: a pair where the next byte can be a
// trail byte, a lone byte otherwise.
std::size_t pack_code_length(std::span<const std::uint8_t> bytes, std::size_t k);

// The character that a code is shown as, or 0 (an escape).
char32_t pack_shown_character(std::span<const std::uint8_t> code);

// Puts each character unit's canonical code into its bytes (none: no code).
void pack_unit_codes(std::vector<text_unit>& units);

// The bytes of a text, every fault of its notation and every character without a code
// in `coded.problems`; with a table, its codes chosen as apply_char_table chooses them.
void pack_text_bytes(std::string_view text, coded_text& coded);
void pack_text_bytes(const char_table& table, std::string_view text, coded_text& coded);

// The same, returning only the first fault (none: `at` is the text's size).
text_fault pack_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at);

// The stored bytes of a text when it is the one text of those bytes in a pack of
// `form`: the faults of pack_text_bytes, else every byte that the form's reader would
// read otherwise (the end mark inside a Huffman text; in the exclusive-or form a lone
// 7C, a lead byte without a trail byte), else the text the bytes read back as when it
// differs. With a table, the bytes are read back through it.
void pack_stored_bytes(pack_form form, std::string_view text, coded_text& coded);
void pack_stored_bytes(pack_form form, const char_table& table, std::string_view text, coded_text& coded);

// Character tables for a pack of `form`. A table code is one Shift-JIS character's: a
// single byte or a lead and a trail byte; never 7C in a Huffman pack, nor 7C alone or a
// lead byte alone in the exclusive-or form; never the line break 0A. The line break is
// *0A and the end /7C. Checks every line of `table` and returns the first fault.
status check_pack_table(pack_form form, const char_table& table);

// Code page 932 as the form can hold it: the single bytes and pairs that have a
// character (but { and }), each character's canonical code first, then the other
// codes; then the line break and end lines.
void write_pack_table(pack_form form, text_output& out);

// The text bytes of the string that starts at `start` of a parsed image, in either
// form, without its end mark. Fails as the dump of that string would. `end`, when given,
// receives the position after the last byte the decoder loaded.
status pack_string_bytes(const pack_image& image, std::uint64_t start, std::vector<std::uint8_t>& bytes,
                         std::uint64_t* end = nullptr);

// The same bytes, faster on large files: a Huffman string through `table` (built by
// build_huff_table, or none: the bit walk), an exclusive-or one eight bytes a step.
status pack_string_bytes(const pack_image& image, const huff_table& table, std::uint64_t start,
                         std::vector<std::uint8_t>& bytes, std::uint64_t* end = nullptr);
