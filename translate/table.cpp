#include "translate/command.h"
#include "translate/kx_text.h"

int table_command(const table_request& request, text_output& out, text_output& err)
{
    game_file file;
    if (!load(request.file, request.kind, file, err))
        return 1;
    if (request.output.empty() || request.output == "-") {
        write_char_table(file, out);
        if (out_finish(out) != 0)
            return report(err, "can't write output"), 1;
        return 0;
    }
    // A file that appears whole or not at all.
    output_file target;
    if (!open_output(request.output, std::span(&request.file, 1), target, err))
        return 1;
    text_output table;
    out_init_file(table, target.stream.get());
    write_char_table(file, table);
    if (out_finish(table) != 0 || !output_file_commit(target))
        return report(err, "can't write " + request.output), 1;
    return 0;
}
