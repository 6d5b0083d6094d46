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

#include "format/notation.h"
#include "format/pack/pack.h"

void pack_text_of(std::span<const std::uint8_t> bytes, std::string& text);

// The bytes of a text, every fault of its notation and every character without a code
// in `coded.problems`.
void pack_text_bytes(std::string_view text, coded_text& coded);

// The same, returning only the first fault (none: `at` is the text's size).
text_fault pack_bytes_of(std::string_view text, std::vector<std::uint8_t>& bytes, std::size_t& at);

// The stored bytes of a text when it is the one text of those bytes in a pack of
// `form`: the faults of pack_text_bytes, else every byte that the form's reader would
// read otherwise (the end mark inside a Huffman text; in the exclusive-or form a lone
// 7C, a lead byte without a trail byte), else the text the bytes read back as when it
// differs.
void pack_stored_bytes(pack_form form, std::string_view text, coded_text& coded);

// The text bytes of the string that starts at `start` of a parsed image, in either
// form, without its end mark. Fails as the dump of that string would. `end`, when given,
// receives the position after the last byte the decoder loaded.
status pack_string_bytes(const pack_image& image, std::uint64_t start, std::vector<std::uint8_t>& bytes,
                         std::uint64_t* end = nullptr);
