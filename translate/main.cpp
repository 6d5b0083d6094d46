// kx_text: exports the strings of an archive or a pack to a PO file for translation,
// and rebuilds the file from the translated PO.
#include <cstdio>

#include "translate/kx_text.h"

int main(int argc, char** argv)
{
    // Each writer holds a 64 KiB buffer: kept off the stack.
    static text_output out;
    static text_output err;
    out_init_file(out, stdout);
    out_init_file(err, stderr);
    return run_kx_text(argc, argv, out, err);
}
