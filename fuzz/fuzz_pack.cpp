// libFuzzer target: the fuzzer's bytes are a whole kx_strings packed file, dumped plainly
// twice, by the Huffman bit walk and through the table, into memory, and once verbosely
// into a discarding writer.
#include <cstdlib>

#include "fuzz/inputs.h"

namespace {

bool same(const status& a, const status& b)
{
    return a.code == b.code && a.position == b.position && a.base == b.base && a.value == b.value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static text_output walked, tabled, traced; // 64 KiB buffers: not on the stack
    const std::span<const std::uint8_t> bytes(data, size);
    out_init_memory(walked);
    out_init_memory(tabled);
    out_init_discard(traced);
    const status by_walk = run_pack_input(bytes, false, walked, huff_decoding::bit_walk);
    const status by_table = run_pack_input(bytes, false, tabled, huff_decoding::table);
    const status verbose = run_pack_input(bytes, true, traced);
    out_finish(walked);
    out_finish(tabled);
    // The table writes what the bit walk writes and fails where it fails; tracing changes
    // what is written, never whether the input is accepted.
    if (!same(by_walk, by_table) || walked.kept != tabled.kept || by_walk.code != verbose.code)
        std::abort();
    return 0;
}
