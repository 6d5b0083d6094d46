#pragma once
// kx_text's entry point, for its main function and for running it in-process.
#include "io/output.h"

// The command line, then export or import. The PO of an export without -o goes to
// `out`, as does the usage asked for; the summary and every message go to `err`.
// Returns the exit status, 0 or 1.
int run_kx_text(int argc, const char* const* argv, text_output& out, text_output& err);
