// kxps_strings: dumps the strings of the data archive's sections 8 and 43.
#include <cstdio>

#include "archive_strings/archive.h"
#include "common/frame.h"

int main(int argc, char** argv)
{
    static text_output out;
    static text_output err;
    out_init_file(out, stdout);
    out_init_file(err, stderr);
    const tool_identity tool{"KESTRA", "usage: kxps_strings [options] [DATAFILE]\n"};
    archive_source source;
    if (parse_command_line(argc, argv, tool, err, source.path) != 0)
        return 1;
    return finish_run(dump_archive(source, out), out, err);
}
