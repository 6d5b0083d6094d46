// kx_strings: dumps every string of a packed string table.
#include "common/frame.h"
#include "pack_strings/pack.h"

int main(int argc, char** argv)
{
    return run_on_standard_streams(argc, argv, run_kx_strings);
}
