// kxps_strings: dumps the strings of the data archive's sections 8 and 43.
#include <cstdio>

#include "archive_strings/archive.h"

int main(int argc, char** argv)
{
    // Each writer holds a 64 KiB buffer: kept off the stack.
    static text_output out;
    static text_output err;
    out_init_file(out, stdout);
    out_init_file(err, stderr);
    return run_kxps_strings(argc, argv, out, err);
}
