// kxps_strings: dumps the strings of the data archive's sections 8 and 43.
#include "cli/dumpers.h"
#include "cli/frame.h"

int main(int argc, char** argv)
{
    // Each writer holds a 64 KiB buffer: kept off the stack.
    static text_output out;
    static text_output err;
    open_standard_streams(out, err);
    return run_kxps_strings(argc, argv, out, err);
}
