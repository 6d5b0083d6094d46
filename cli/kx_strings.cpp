// kx_strings: dumps every string of a packed string table.
#include "cli/dumpers.h"
#include "cli/frame.h"

int main(int argc, char** argv)
{
    // Each writer holds a 64 KiB buffer: kept off the stack.
    static text_output out;
    static text_output err;
    open_standard_streams(out, err);
    return run_kx_strings(argc, argv, out, err);
}
