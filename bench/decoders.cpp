// Micro-benchmarks of each decoder on inputs of bench/inputs.h held in memory, written to
// a discarding writer. Throughput is in bytes of output.
#include <benchmark/benchmark.h>

#include "format/archive/archive.h"
#include "bench/inputs.h"
#include "format/pack/huffman.h"
#include "format/pack/pack.h"

namespace {

using bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t text_bytes = 4 << 20;

const bytes& input(int kind)
{
    static bytes made[3];
    if (made[kind].empty()) {
        std::string error;
        const bool ok = kind == 0 ? make_huffman_pack(text_bytes, 1, made[kind], error)
                      : kind == 1 ? make_xor_pack(text_bytes, 1, made[kind], error)
                                  : make_archive(text_bytes, 1, made[kind], error);
        if (!ok)
            std::abort();
    }
    return made[kind];
}

void pack_dump(benchmark::State& state, int kind, pack_decoding decoding)
{
    text_output out;
    pack_image image;
    if (failed(parse_pack_tables(input(kind), nullptr, image)))
        std::abort();
    out_init_memory(out);
    print_pack_strings(image, false, out, decoding);
    out_finish(out);
    const auto length = static_cast<std::int64_t>(out.kept.size());
    for (auto _ : state) {
        out_init_discard(out);
        benchmark::DoNotOptimize(print_pack_strings(image, false, out, decoding));
    }
    state.SetBytesProcessed(state.iterations() * length);
}

void huffman_bit_walk(benchmark::State& state) { pack_dump(state, 0, pack_decoding::reference); }
void huffman_table(benchmark::State& state) { pack_dump(state, 0, pack_decoding::fast); }
void exclusive_or(benchmark::State& state) { pack_dump(state, 1, pack_decoding::automatic); }

void archive_render(benchmark::State& state)
{
    text_output out;
    const bytes& archive = input(2);
    out_init_memory(out);
    byte_source source = memory_source("archive", archive);
    dump_archive(source, false, out);
    out_finish(out);
    const auto length = static_cast<std::int64_t>(out.kept.size());
    for (auto _ : state) {
        out_init_discard(out);
        source = memory_source("archive", archive);
        benchmark::DoNotOptimize(dump_archive(source, false, out));
    }
    state.SetBytesProcessed(state.iterations() * length);
}

} // namespace

BENCHMARK(huffman_bit_walk)->Unit(benchmark::kMillisecond);
BENCHMARK(huffman_table)->Unit(benchmark::kMillisecond);
BENCHMARK(exclusive_or)->Unit(benchmark::kMillisecond);
BENCHMARK(archive_render)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
