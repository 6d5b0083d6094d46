// libFuzzer target: the fuzzer's bytes are a whole kx_strings packed file, dumped plainly
// twice into memory, by the reference decoders (the Huffman bit walk, one exclusive-or
// byte a step) and by the fast ones (the table, eight bytes a step), and once verbosely
// into a discarding writer.
#include <cstdlib>

#include "fuzz/inputs.h"

namespace {

bool same(const status& a, const status& b)
{
    return a.code == b.code && a.offset == b.offset && a.base == b.base && a.stored == b.stored && a.bit == b.bit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    text_output reference, fast, traced;
    const std::span<const std::uint8_t> bytes(data, size);
    out_init_memory(reference);
    out_init_memory(fast);
    out_init_discard(traced);
    const status by_reference = run_pack_input(bytes, false, reference, pack_decoding::reference);
    const status by_fast = run_pack_input(bytes, false, fast, pack_decoding::fast);
    const status verbose = run_pack_input(bytes, true, traced);
    out_finish(reference);
    out_finish(fast);
    // The fast decoders write what the reference ones write and fail where they fail;
    // tracing changes what is written, never whether the input is accepted.
    if (!same(by_reference, by_fast) || reference.kept != fast.kept || by_reference.code != verbose.code)
        std::abort();
    return 0;
}
