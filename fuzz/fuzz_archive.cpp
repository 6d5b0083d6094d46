// libFuzzer target: the fuzzer's bytes are a whole kxps_strings archive, dumped plainly
// twice into memory, by the reference renderer (a code a step) and by the fast one
// (eight bytes a step), and once verbosely into a discarding writer.
#include <cstdlib>

#include "fuzz/inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    text_output reference, fast, traced;
    const std::span<const std::uint8_t> bytes(data, size);
    out_init_memory(reference);
    out_init_memory(fast);
    out_init_discard(traced);
    const status by_reference = run_archive_input(bytes, false, reference, game_rendering::reference);
    const status by_fast = run_archive_input(bytes, false, fast, game_rendering::fast);
    const status verbose = run_archive_input(bytes, true, traced);
    out_finish(reference);
    out_finish(fast);
    // The fast renderer writes what the reference one writes and fails where it fails;
    // tracing changes what is written, never whether the input is accepted.
    if (by_reference.code != by_fast.code || reference.kept != fast.kept || by_reference.code != verbose.code)
        std::abort();
    return 0;
}
