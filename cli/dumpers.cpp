// The two dumpers' entry points: the command line, one call, the end of the run.
#include "cli/dumpers.h"

#include "cli/frame.h"
#include "format/archive/archive.h"
#include "format/pack/pack.h"

int run_kxps_strings(int argc, const char* const* argv, text_output& out, text_output& err)
{
    static constexpr tool_identity tool{"KESTRA", "usage: kxps_strings [options] [DATAFILE]\n"};
    tool_options options;
    if (parse_command_line(argc, argv, tool, err, options) != 0)
        return 1;
    byte_source source = file_source(options.file_name);
    const status result = dump_archive(source, options.verbose_level != 0, out);
    return finish_run(result, options.file_name, out, err);
}

int run_kx_strings(int argc, const char* const* argv, text_output& out, text_output& err)
{
    static constexpr tool_identity tool{"STRINGS.PAK", "usage: kx_strings [options] [STRINGS.PAK]\n"};
    tool_options options;
    if (parse_command_line(argc, argv, tool, err, options) != 0)
        return 1;
    // The image owns the file's bytes until it goes.
    pack_image image;
    const status result = dump_pack(options.file_name, options.verbose_level != 0, out, image);
    return finish_run(result, options.file_name, out, err);
}
