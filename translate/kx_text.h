#pragma once
// kx_text: exports every string of an archive or a pack to a gettext PO file for
// translation, and rebuilds the file from the translated PO.
#include "io/output.h"

// The command line, the work, the messages. The PO of an export without -o goes to
// `out`; the summary and every message to `err`. Returns the exit status, 0 or 1.
int run_kx_text(int argc, const char* const* argv, text_output& out, text_output& err);
