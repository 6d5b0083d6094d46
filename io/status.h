#pragma once
// Failures as values. The code that finds a failure returns a `status` naming what and
// where; the caller that decides the exit reports it once. Every message text of the
// formats and of kx_text's checks lives in status.cpp, as a sentence without framing:
// how a message is set into an output (the dumps' "ERROR: " and line ends, kx_text's
// file names) is the business of the tool that prints it.
#include <cstdint>
#include <string>
#include <string_view>

enum class failure : std::uint8_t {
    none,
    // Reading an input file (the message names the file).
    cant_open,
    cant_seek,
    cant_read,
    memory,
    illegal_index,
    // Parsing the tables.
    size_error,         // an archive directory or block does not fit its section
    overrun,            // a pack table or block does not fit the file
    illegal_offset,     // a string starts outside its buffer: offset = base + stored
    illegal_node_table, // the root is a leaf other than the end mark
    // Decoding strings.
    out_of_buffer,      // an archive string runs to the end of its section
    decode_overrun,     // a pack string runs to the end of the file
    left_null,          // a 0 bit at a node without a left child: offset (of the byte), bit
    right_null,         // the same for a 1 bit
    illegal_sjis,       // a lead byte without a valid trail byte
    // Writing the formats.
    too_many_blocks,    // count: the number of blocks
    too_many_strings,   // block; count: the number of strings
    out_of_reach,       // block, string; distance: what the offset would need
    too_large,          // size: what the file or section would be
    too_many_symbols,   // count: the number of distinct bytes
    no_code_word,       // byte: the byte that the code tree has no leaf for
    end_mark_in_text,   // block, string: a text holds the byte that ends strings
    // An archive's section index as a rebuild needs it.
    index_start,        // entry 0 (value) is not the end of the index inside the file
    index_too_short,    // count: the entries, fewer than the string sections need
    index_decreases,    // entry: the first entry below the one before it
    index_past_end,     // entry: the last entry, past the end of the file
    // Which kind a file is.
    both_kinds,         // the file reads as either kind
    not_a_game_file,    // it reads as no kind that was tried (the loader keeps each kind's failure)
    // A rebuilt file read back.
    other_tables,       // it has another number of string tables
    other_block_count,  // a table has another number of blocks
    block_changed,      // block (string 0 names it): another id or string count
    string_changed,     // block, string: the string does not read back as intended
    other_index,        // the index has another length
    section_changed,    // section: a copied section differs
    // A character table (line; a code: value holds its bytes, count their number).
    table_not_utf8,
    table_bad_line,     // none of the line forms
    table_bad_text,     // a text with a brace or a control character
    table_empty_text,
    table_code_twice,   // code; first_line
    table_not_one_code, // code: more or other bytes than one character of the form
    table_lone_lead,    // code: a lead byte without its second byte
    table_control_byte, // code: a control byte of the archive
    table_backslash,    // code: the archive's backslash
    table_end_byte,     // code: the byte that ends a string
    table_end_in_code,  // code, byte: a pair holding the end byte
    table_line_feed,    // code: a pack's line break
    table_other_break,  // code: the form's line break, which the line does not give
    table_other_end,    // code: the form's end byte, which the line does not give
};

// Why a call to the system failed, in words of kx_text's own: the same on every platform,
// never the C library's text for the code (the dumpers' messages name no reason).
enum class sys_error : std::uint8_t {
    none, // no call failed, or none said why (a read that ended early)
    no_such_file,
    permission_denied,
    is_directory,
    not_a_file, // a device, a pipe, a socket: no file to replace
    disk_full,
    other, // `code` says which
};

struct sys_reason {
    sys_error error = sys_error::none;
    int code = 0; // the errno value, or on Windows the system's error code
};

// The reason of an errno value (0: none).
sys_reason errno_reason(int value);

// "no such file", "permission denied", "is a directory", "disk full", "error N"; empty
// for none.
std::string sys_reason_text(const sys_reason& reason);

// Which string or section a failure names, when it names one.
enum class failure_scope : std::uint8_t {
    none,
    section, // "section N: " before the message
    string,  // "string N:B:J: " (or "string B:J: " in a pack) before the message
};

struct status {
    failure code = failure::none;
    failure_scope scope = failure_scope::none;
    std::int32_t section = -1;  // the archive section, -1 in a pack
    std::uint32_t block = 0;    // a block by its directory entry
    std::uint32_t string = 0;   // a string of that block
    std::uint64_t offset = 0;   // illegal_offset: where the string would start; node faults: the byte
    std::uint64_t base = 0;     // illegal_offset: where its offsets count from
    std::uint64_t stored = 0;   // illegal_offset: the offset as stored
    std::uint32_t bit = 0;      // node faults: the bit of that byte, from the top
    std::uint64_t count = 0;    // too_many_*, index_too_short; table faults: the bytes of the code
    std::uint64_t distance = 0; // out_of_reach
    std::uint64_t size = 0;     // too_large
    std::uint64_t value = 0;    // index_start: the entry's value; table faults: the code (its first 8 bytes)
    std::uint32_t entry = 0;    // index_decreases, index_past_end
    std::uint8_t byte = 0;      // no_code_word, table_end_in_code
    // cant_open, cant_seek, cant_read: why, when the system said (see reason_of)
    sys_error reason = sys_error::none;
    int reason_code = 0;
    std::uint64_t line = 0;     // table faults: the line, from 1
    std::uint64_t first_line = 0; // table_code_twice
};

inline bool failed(const status& s) { return s.code != failure::none; }

inline status fail(failure code) { return status{.code = code}; }
inline status fail(failure code, sys_reason reason)
{
    return status{.code = code, .reason = reason.error, .reason_code = reason.code};
}
inline sys_reason reason_of(const status& s) { return {s.reason, s.reason_code}; }

// A failure placed at a section, or at a string of a table.
inline status in_section(status s, std::int32_t section)
{
    s.scope = failure_scope::section;
    s.section = section;
    return s;
}
inline status at_string(status s, std::int32_t section, std::uint32_t block, std::uint32_t string)
{
    s.scope = failure_scope::string;
    s.section = section;
    s.block = block;
    s.string = string;
    return s;
}

// The message of `s`, one sentence without "ERROR: " or a line end; `path` is the file
// as opened. The scope's place, if any, is not included.
std::string failure_text(const status& s, std::string_view path);

// "section 8: " or "string 8:0:1: " for a scoped failure, else nothing.
std::string failure_place(const status& s);

// A string's place as the dumps number it: "8:12:0" (section, block, string) or "12:0".
std::string string_place(std::int32_t section, std::uint32_t block, std::uint32_t string);
