#pragma once
// The data archive: a section index (u32 file offsets, entry n at 4*n; section n runs
// from entry n up to entry n+1), and the strings of sections 8 (layout A directory) and
// 43 (layout B directory) in the game's own character codes.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/char_table.h"
#include "format/directory.h"
#include "format/notation.h"
#include "format/string_table.h"
#include "io/file_io.h"
#include "io/output.h"
#include "io/status.h"

// The sections that hold strings, in dump order: the first is read with directory
// layout A, the second with layout B.
inline constexpr std::array<std::int32_t, 2> string_sections = {8, 43};
inline constexpr directory_layout section_layout(std::size_t i)
{
    return i == 0 ? directory_layout::with_ids : directory_layout::nested;
}
// The index entries a file needs: up to the end of the last string section.
inline constexpr std::uint32_t index_entries_needed = 43 + 2;
// Section starts are aligned on the largest power of two up to this that divides all.
inline constexpr std::uint32_t largest_alignment = 2048;

// One section being dumped.
struct loaded_section {
    std::int32_t number = 0;
    std::uint32_t file_offset = 0; // index entry n: the section's start in the file
    std::uint32_t size = 0;        // entry n+1 - entry n
    paged_bytes bytes;             // bytes.data: the section's bytes, read as they are needed
    string_directory directory;
};

// Loads section n of the archive: opens the source, reads index entries n and n+1 and
// takes the section's bytes (source_page: from a large section, only as they are read).
// Traces the section's place when `trace` is given. Fails with cant_open, cant_seek,
// cant_read, illegal_index or memory, and closes the source then; on success the source
// stays open for the section's reads, until the caller closes it.
status load_section(byte_source& source, std::int32_t n, text_output* trace, loaded_section& section);

// How strings are rendered: reference, a code a step by next_game_code; fast, the codes
// of eight bytes a step where none of them ends the string or breaks the line. Both
// give the same output on every input.
enum class game_rendering { reference, fast };

// Prints every string of a loaded section whose directory has been parsed, one dump
// line per string (the verbose form shows each string's offset in the section). Fails
// with out_of_buffer when a string runs to the end of the section's data, cant_read
// when the section's bytes that are read as they are needed are gone.
status print_section_strings(loaded_section& section, bool verbose, text_output& out,
                             game_rendering rendering = game_rendering::fast);

// The whole dump: each section of the fixed list is loaded, parsed and printed before
// the next is opened; `verbose` adds the trace. Stops at the first failure.
status dump_archive(byte_source& source, bool verbose, text_output& out,
                    game_rendering rendering = game_rendering::fast);


// Appends an archive to `out`: an index of sections.size() + 1 entries, each section
// but the last padded with zero bytes to a multiple of `alignment` (a power of two),
// then `trailer` after the end of the last section. Fails with too_large when an
// offset would not fit 32 bits.
status write_archive(std::span<const std::vector<std::uint8_t>> sections, std::uint32_t alignment,
                     std::span<const std::uint8_t> trailer, std::vector<std::uint8_t>& out);

// An archive parsed for translation: its bytes (owned by the caller) and the tables of
// sections 8 and 43, every string decoded once.
struct archive_file {
    std::span<const std::uint8_t> bytes;
    std::vector<string_table> tables;
};

// Parses `bytes` as kxps_strings reads them. Fails as the dump would, in the section
// (load and directory) or at the first string (decoding) where it would.
status parse_archive_file(std::span<const std::uint8_t> bytes, archive_file& file);

// The text bytes of the string of `table` that starts at `start` (a parsed one).
void archive_string_bytes(const string_table& table, std::uint64_t start, std::vector<std::uint8_t>& bytes);

// The text of string bytes in the text notation (game_text_of); with a table, each code
// as the table's text where that text is stored as the code again (table_decoded_text).
void archive_text(std::span<const std::uint8_t> bytes, std::string& text);
void archive_text(const char_table& table, std::span<const std::uint8_t> bytes, std::string& text);

// Character tables for an archive. A table code is one character's: a single byte from
// 20 up but the backslash 5C (which starts the line break), or a lead byte 01-04 and any
// second byte. The line break is *5C6E and the end /1F. Checks every line of `table`
// and returns the first fault.
status check_archive_table(const char_table& table);

// Every code that has a character (printable ASCII but 5C, { and }, and the character
// map), each character's canonical code first, then the other codes; then the line
// break and end lines.
void write_archive_table(text_output& out);

// Checks that the index describes the whole file, as a rebuild needs: entry 0 ends the
// index on a whole entry inside the file, sections 8 and 43 lie inside it, the entries
// do not decrease and none lies past the end of the file.
status check_archive_index(const archive_file& file);

// Writes the archive anew with `texts` (sorted by table, block and index, each place
// once; their stored bytes are filled here): sections 8 and 43 in their layouts, every
// other section and the bytes after the last copied, section starts aligned as before.
status rebuild_archive(const archive_file& file, std::span<new_text> texts, rebuilt_file& result);

// Checks that every section but 8 and 43 was copied unchanged into `rebuilt`.
status check_copied_sections(const archive_file& file, const archive_file& rebuilt);
