// kx_text: exports the strings of an archive or a pack to a PO file for translation,
// and rebuilds the file from the translated PO.
#include "cli/text_tool.h"
#include "cli/frame.h"

int main(int argc, char** argv)
{
    text_output out;
    text_output err;
    open_standard_streams(out, err);
    return run_kx_text(argc, argv, out, err);
}
