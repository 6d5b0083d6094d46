// kx_strings: dumps every string of a packed string table.
#include "cli/dumpers.h"
#include "cli/frame.h"

int main(int argc, char** argv)
{
    text_output out;
    text_output err;
    open_standard_streams(out, err);
    return run_kx_strings(argc, argv, out, err);
}
