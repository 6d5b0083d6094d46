#include "io/status.h"

static void file_message(text_output& out, std::string_view text, std::string_view path)
{
    out_text(out, text);
    out_text(out, path);
    out_byte(out, '\n');
}

static void node_message(text_output& out, std::string_view side, const status& s)
{
    // The node messages end without a line feed.
    out_text(out, "ERROR: ");
    out_text(out, side);
    out_text(out, " node is NULL: +");
    out_hex(out, s.position, 8);
    out_byte(out, '.');
    out_dec(out, static_cast<std::int64_t>(s.value), 0);
}

static void block_message(text_output& out, const status& s, std::string_view text)
{
    out_text(out, "ERROR: block ");
    out_dec(out, static_cast<std::int64_t>(s.position), 0);
    out_text(out, text);
}

void report_failure(text_output& out, const status& s, std::string_view path)
{
    const auto value = static_cast<std::int64_t>(s.value);
    switch (s.code) {
    case failure::none:
        break;
    case failure::cant_open:
        file_message(out, "ERROR: can't open file: ", path);
        break;
    case failure::cant_seek:
        file_message(out, "ERROR: can't seek file: ", path);
        break;
    case failure::cant_read:
        file_message(out, "ERROR: can't read file: ", path);
        break;
    case failure::memory:
        out_text(out, "ERROR: memory exhausted!\n");
        break;
    case failure::illegal_index:
        file_message(out, "ERROR: illegal index table: ", path);
        break;
    case failure::size_error:
        out_text(out, "ERROR: buffer size error\n");
        break;
    case failure::overrun:
        out_text(out, "ERROR: buffer overrun\n");
        break;
    case failure::illegal_offset:
        // "%04X" shows at least four digits, more when the value needs them.
        out_text(out, "ERROR: illegal code offset: ");
        out_hex(out, s.position, 4);
        out_text(out, " = ");
        out_hex(out, s.base, 4);
        out_text(out, " + ");
        out_hex(out, s.value, 4);
        out_byte(out, '\n');
        break;
    case failure::illegal_node_table:
        out_text(out, "ERROR: illegal node table\n");
        break;
    case failure::out_of_buffer:
        out_text(out, "\nERROR: out of buffer\n");
        break;
    case failure::decode_overrun:
        out_text(out, "\nERROR: buffer overrun\n");
        break;
    case failure::left_null:
        node_message(out, "left", s);
        break;
    case failure::right_null:
        node_message(out, "right", s);
        break;
    case failure::illegal_sjis:
        out_text(out, "ERROR: illegal shift jis encoding\n");
        break;
    case failure::too_many_blocks:
        out_text(out, "ERROR: ");
        out_dec(out, value, 0);
        out_text(out, " blocks, more than a directory holds (65535)\n");
        break;
    case failure::too_many_strings:
        block_message(out, s, ": ");
        out_dec(out, value, 0);
        out_text(out, " strings, more than a block holds (65535)\n");
        break;
    case failure::out_of_reach:
        block_message(out, s, ", string ");
        out_dec(out, static_cast<std::int64_t>(s.base), 0);
        out_text(out, ": the string would lie ");
        out_dec(out, value, 0);
        out_text(out, " bytes from its offset base, beyond the 65535 a 16-bit offset reaches\n");
        break;
    case failure::too_large:
        out_text(out, "ERROR: the result would be ");
        out_dec(out, value, 0);
        out_text(out, " bytes, more than 32-bit offsets reach (4 GiB)\n");
        break;
    case failure::too_many_symbols:
        out_text(out, "ERROR: the texts hold ");
        out_dec(out, value, 0);
        out_text(out, " distinct bytes with the end mark, more than a code tree holds (128)\n");
        break;
    case failure::no_code_word:
        out_text(out, "ERROR: the code tree has no code word for the byte ");
        out_hex(out, s.value, 2);
        out_byte(out, '\n');
        break;
    case failure::end_mark_in_text:
        block_message(out, s, ", string ");
        out_dec(out, static_cast<std::int64_t>(s.base), 0);
        out_text(out, ": the text holds the end mark 7C, which this form cannot store\n");
        break;
    }
}

std::string failure_message(const status& s, std::string_view path)
{
    text_output out;
    out_init_memory(out);
    report_failure(out, s, path);
    out_finish(out);
    return out.kept;
}
