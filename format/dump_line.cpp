#include "format/dump_line.h"

void write_line_prefix(text_output& out, std::initializer_list<std::int64_t> positions, bool verbose,
                       std::uint64_t offset)
{
    for (std::int64_t position : positions) {
        // Positions below 1000, nearly all of them, are written in one piece.
        if (position >= 0 && position < 1000) {
            const auto n = static_cast<int>(position);
            char* const p = out_reserve(out, 5).data();
            p[0] = '[';
            p[1] = n >= 100 ? static_cast<char>('0' + n / 100) : ' ';
            p[2] = n >= 10 ? static_cast<char>('0' + n / 10 % 10) : ' ';
            p[3] = static_cast<char>('0' + n % 10);
            p[4] = ']';
            out_commit(out, 5);
            continue;
        }
        out_byte(out, '[');
        out_dec(out, position, 3);
        out_byte(out, ']');
    }
    if (verbose) {
        out_text(out, " +");
        out_hex(out, offset, 8);
    }
    out_text(out, " = ");
}
