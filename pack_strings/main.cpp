// kx_strings: dumps every string of a packed string table.
#include <cstdio>

#include "pack_strings/pack.h"

int main(int argc, char** argv)
{
    // Each writer holds a 64 KiB buffer: kept off the stack.
    static text_output out;
    static text_output err;
    out_init_file(out, stdout);
    out_init_file(err, stderr);
    return run_kx_strings(argc, argv, out, err);
}
