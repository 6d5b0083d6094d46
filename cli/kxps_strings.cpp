// kxps_strings: dumps the strings of the data archive's sections 8 and 43.
#include "cli/dumpers.h"
#include "cli/frame.h"

int main(int argc, char** argv)
{
    text_output out;
    text_output err;
    open_standard_streams(out, err);
    return run_kxps_strings(argc, argv, out, err);
}
