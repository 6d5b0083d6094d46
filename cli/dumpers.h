#pragma once
// The dumpers' entry points, for their main functions and for running them in-process.
#include "io/output.h"

// kxps_strings: the command line, the dump to `out`, the end of the run. Returns the
// exit status.
int run_kxps_strings(int argc, const char* const* argv, text_output& out, text_output& err);

// kx_strings: the same for a packed file.
int run_kx_strings(int argc, const char* const* argv, text_output& out, text_output& err);
