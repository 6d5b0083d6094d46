// kxps_strings: dumps the strings of the data archive's sections 8 and 43.
#include "archive_strings/archive.h"
#include "common/frame.h"

int main(int argc, char** argv)
{
    return run_on_standard_streams(argc, argv, run_kxps_strings);
}
