#pragma once
// Builds data archives for tests, fuzz seeds, benchmarks and the bundled example, from
// readable descriptions: texts in UTF-8 through the character map, blocks of strings,
// sections with either directory layout, and the section index.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using byte_string = std::vector<std::uint8_t>;

// Encodes UTF-8 text into the game's codes: printable ASCII as itself, every other
// character through the character map (ー as 0xB0), and "{XX XX ...}" as raw
// hexadecimal bytes, for control bytes, unmapped codes and damage. A backslash-n stays
// the two characters it is. Throws std::invalid_argument for a character without a code.
byte_string encode_game_text(std::string_view text);

// The same, followed by the end byte 0x1F.
byte_string game_string(std::string_view text);

struct archive_block {
    std::uint32_t id = 0;              // stored by layout A only
    std::vector<byte_string> strings;  // stored bytes, end bytes included
};

// A section whose directory has layout A (block ids) or layout B (nested counts). Block
// headers and strings follow the directory in order; strings are packed one after the
// other.
byte_string build_section_with_ids(const std::vector<archive_block>& blocks);
byte_string build_section_nested(const std::vector<archive_block>& blocks);

// An archive of the given sections, section n at index entry n; the index has one entry
// more than there are sections, so that the last section ends where the file does.
byte_string build_archive(const std::vector<byte_string>& sections);

// Little-endian appenders for hand-built files.
void put_u16(byte_string& out, std::uint32_t value);
void put_u32(byte_string& out, std::uint32_t value);

// An archive from a source text:
//   # comment             ignored, as are empty lines
//   [section 8]           the following blocks belong to section 8 (layout A) or 43 (layout B)
//   [block 1001]          a new block with that id (the id is ignored in section 43)
//   any other line        one string of the current block, encoded with game_string
// All other sections up to 43 get a few filler bytes. Throws std::invalid_argument
// naming the line for malformed input.
byte_string build_archive_from_text(std::string_view source);
