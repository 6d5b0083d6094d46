// libFuzzer target: the fuzzer's bytes are a whole kxps_strings archive, dumped once
// plainly and once verbosely into a discarding writer.
#include <cstdlib>

#include "common/frame.h"
#include "fuzz/inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static text_output out; // 64 KiB buffer: not on the stack
    const std::span<const std::uint8_t> bytes(data, size);
    for (int level : {0, 1}) {
        verbose_level = level;
        out_init_discard(out);
        const int result = run_archive_input(bytes, out);
        if (result != 0 && result != -1)
            std::abort();
    }
    return 0;
}
