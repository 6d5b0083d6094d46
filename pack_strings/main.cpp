// kx_strings: dumps every string of a packed string table.
#include <cstdio>
#include <string>

#include "common/frame.h"
#include "pack_strings/pack.h"

int main(int argc, char** argv)
{
    static constexpr tool_identity tool{"STRINGS.PAK", "usage: kx_strings [options] [STRINGS.PAK]\n"};
    // Each writer holds a 64 KiB buffer: kept off the stack. The image owns the file's
    // bytes until the process ends.
    static text_output out;
    static text_output err;
    static pack_image image;
    out_init_file(out, stdout);
    out_init_file(err, stderr);
    std::string file_name;
    if (parse_command_line(argc, argv, tool, err, file_name) != 0)
        return 1;
    const int result = dump_pack(file_name, out, image);
    return finish_run(result, out, err);
}
