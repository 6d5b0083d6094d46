#include "io/status.h"

#include <cerrno>

#include "io/output.h"

namespace {

std::string dec(std::uint64_t value) { return std::to_string(value); }

// A table's code as written in it, or its length when it is too long to show.
std::string table_code(const status& s)
{
    return s.count <= 8 ? hex_text(s.value, static_cast<int>(2 * s.count)) : "a code of " + dec(s.count) + " bytes";
}

std::string at_block(const status& s) { return "block " + dec(s.block) + ", string " + dec(s.string) + ": "; }

} // namespace

sys_reason errno_reason(int value)
{
    switch (value) {
    case 0: return {};
    case ENOENT: return {sys_error::no_such_file, value};
    case EACCES:
    case EPERM: return {sys_error::permission_denied, value};
    case EISDIR: return {sys_error::is_directory, value};
    case ENOSPC: return {sys_error::disk_full, value};
    default: return {sys_error::other, value};
    }
}

std::string sys_reason_text(const sys_reason& reason)
{
    switch (reason.error) {
    case sys_error::none: return {};
    case sys_error::no_such_file: return "no such file";
    case sys_error::permission_denied: return "permission denied";
    case sys_error::is_directory: return "is a directory";
    case sys_error::not_a_file: return "not a regular file";
    case sys_error::disk_full: return "disk full";
    case sys_error::other: break;
    }
    return "error " + std::to_string(reason.code);
}

std::string string_place(std::int32_t section, std::uint32_t block, std::uint32_t string)
{
    const std::string place = dec(block) + ":" + dec(string);
    return section < 0 ? place : std::to_string(section) + ":" + place;
}

std::string failure_place(const status& s)
{
    switch (s.scope) {
    case failure_scope::none:
        break;
    case failure_scope::section:
        return "section " + std::to_string(s.section) + ": ";
    case failure_scope::string:
        return "string " + string_place(s.section, s.block, s.string) + ": ";
    }
    return {};
}

std::string failure_text(const status& s, std::string_view path)
{
    const std::string file(path);
    const std::string line = file + ":" + dec(s.line) + ": ";
    switch (s.code) {
    case failure::none: return {};
    case failure::cant_open: return "can't open file: " + file;
    case failure::cant_seek: return "can't seek file: " + file;
    case failure::cant_read: return "can't read file: " + file;
    case failure::memory: return "memory exhausted!";
    case failure::illegal_index: return "illegal index table: " + file;
    case failure::size_error: return "buffer size error";
    case failure::overrun: return "buffer overrun";
    case failure::illegal_offset:
        // "%04X" shows at least four digits, more when the value needs them.
        return "illegal code offset: " + hex_text(s.offset, 4) + " = " + hex_text(s.base, 4) + " + " + hex_text(s.stored, 4);
    case failure::illegal_node_table: return "illegal node table";
    case failure::out_of_buffer: return "out of buffer";
    case failure::decode_overrun: return "buffer overrun";
    case failure::left_null:
    case failure::right_null:
        return std::string(s.code == failure::left_null ? "left" : "right") + " node is NULL: +" + hex_text(s.offset, 8) +
               "." + dec(s.bit);
    case failure::illegal_sjis: return "illegal shift jis encoding";
    case failure::too_many_blocks: return dec(s.count) + " blocks, more than a directory holds (65535)";
    case failure::too_many_strings:
        return "block " + dec(s.block) + ": " + dec(s.count) + " strings, more than a block holds (65535)";
    case failure::out_of_reach:
        return at_block(s) + "the string would lie " + dec(s.distance) +
               " bytes from its offset base, beyond the 65535 a 16-bit offset reaches";
    case failure::too_large: return "the result would be " + dec(s.size) + " bytes, more than 32-bit offsets reach (4 GiB)";
    case failure::too_many_symbols:
        return "the texts hold " + dec(s.count) + " distinct bytes with the end mark, more than a code tree holds (128)";
    case failure::no_code_word: return "the code tree has no code word for the byte " + hex_text(s.byte, 2);
    case failure::end_mark_in_text: return at_block(s) + "the text holds the end mark 7C, which this form cannot store";
    case failure::index_start:
        return "the section index: entry 0 (" + dec(s.value) + ") must end the index on a whole entry inside the file";
    case failure::index_too_short:
        return "the section index has " + dec(s.count) + " entries; sections 8 and 43 need at least " + dec(s.value);
    case failure::index_decreases: return "the section index decreases at entry " + dec(s.entry);
    case failure::index_past_end: return "the section index: entry " + dec(s.entry) + " lies past the end of the file";
    case failure::both_kinds:
        return file + " reads both as an archive and as a pack: say which with --kind archive or --kind pack";
    case failure::not_a_game_file: return file + " is not a file that the dumpers read";
    case failure::other_tables: return "the new file has other string tables";
    case failure::other_block_count: return "the new file has another number of blocks";
    case failure::block_changed:
        return "block " + string_place(s.section, s.block, 0) + " changed its id or its number of strings";
    case failure::string_changed:
        return "string " + string_place(s.section, s.block, s.string) + " does not read back as intended";
    case failure::other_index: return "the new index has another length";
    case failure::section_changed: return "section " + std::to_string(s.section) + " was not copied unchanged";
    case failure::table_not_utf8: return line + "not UTF-8";
    case failure::table_bad_line:
        return line + "not a table line: a line is HEX=text, *HEX (the line break), /HEX (the end) or a # comment";
    case failure::table_bad_text: return line + "a table text cannot hold '{', '}' or control characters";
    case failure::table_empty_text: return line + "the text after '=' is empty";
    case failure::table_code_twice:
        return line + "code " + table_code(s) + " is given twice (first at line " + dec(s.first_line) + ")";
    case failure::table_not_one_code: return line + table_code(s) + " is not the code of one character in this file";
    case failure::table_lone_lead: return line + table_code(s) + " is a lead byte: its code goes on with a second byte";
    case failure::table_control_byte: return line + table_code(s) + " is a control byte of the game and cannot stand for text";
    case failure::table_backslash:
        return line + "5C, the backslash, starts the game's line break and cannot stand for text";
    case failure::table_end_byte: return line + table_code(s) + " ends a string in this file and cannot stand for text";
    case failure::table_end_in_code:
        return line + table_code(s) + " holds " + hex_text(s.byte, 2) + ", which ends every string of this file";
    case failure::table_line_feed:
        return line + table_code(s) + " is this file's line break, which a line feed in a text stands for";
    case failure::table_other_break: return line + "the line break of this file is *" + table_code(s);
    case failure::table_other_end: return line + "the end of a string in this file is /" + table_code(s);
    }
    return {};
}
