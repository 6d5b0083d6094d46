// libFuzzer target: the fuzzer's bytes are a whole kx_strings packed file, dumped once
// plainly and once verbosely into a discarding writer.
#include <cstdlib>

#include "fuzz/inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static text_output out; // 64 KiB buffer: not on the stack
    const std::span<const std::uint8_t> bytes(data, size);
    failure results[2];
    for (int verbose = 0; verbose < 2; ++verbose) {
        out_init_discard(out);
        results[verbose] = run_pack_input(bytes, verbose != 0, out).code;
    }
    // Tracing changes what is written, never whether the input is accepted.
    if (results[0] != results[1])
        std::abort();
    return 0;
}
