// The parse and print stages driven on bytes in memory, as a fuzzer drives them:
// whatever the bytes, they end, stay inside the buffer and report failures.
#include <memory>
#include <random>

#include "common/frame.h"
#include "pack_strings/pack.h"
#include "tests/pack/pack_test_util.h"

namespace {

using namespace kx_pack_test;

struct memory_run {
    int result = 0;
    std::string out;
};

memory_run parse_and_print(const pack_bytes& bytes, int verbose)
{
    auto out = std::make_unique<text_output>();
    out_init_memory(*out);
    verbose_level = verbose;
    pack_image image;
    memory_run run;
    run.result = parse_pack_tables(bytes, *out, image);
    if (run.result == 0)
        run.result = print_pack_strings(image, *out);
    verbose_level = 0;
    out_finish(*out);
    run.out = out->kept;
    return run;
}

TEST(PackMemory, MutatedFilesEndWithinTheirBytes)
{
    // Seeds: both forms, with line feeds, shared strings and a deep tree.
    std::vector<pack_bytes> seeds;
    const std::vector<std::string> texts = {"Hello\nworld", "", "|", "\x82|\x81\x40 ok", "deep deep deeper"};
    std::vector<pack_bytes> coded;
    std::vector<pack_bytes> chained;
    const auto records = huffman_records_for(texts);
    for (const std::string& text : texts) {
        coded.push_back(huffman_encode(records, text));
        chained.push_back(xor_encode(text));
    }
    seeds.push_back(build_pack(records, {pack_block{1, coded}, pack_block{2, {coded[0]}}}));
    seeds.push_back(build_pack({}, {pack_block{1, chained}}));
    seeds.push_back(build_pack(tree_with_gap(0xFF), {pack_block{3, {{0x06, 0x40}, {0xE0}}}}));

    std::mt19937 rng(2024);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    int failures = 0;
    for (int round = 0; round < 4000; ++round) {
        pack_bytes bytes = seeds[below(seeds.size())];
        for (std::size_t n = 1 + below(4); n > 0; --n) {
            switch (below(4)) {
            case 0: bytes[below(bytes.size())] = static_cast<std::uint8_t>(rng()); break;
            case 1: bytes[below(bytes.size())] ^= static_cast<std::uint8_t>(1u << below(8)); break;
            case 2: bytes.resize(below(bytes.size() + 1)); break;
            default: bytes.push_back(static_cast<std::uint8_t>(rng())); break;
            }
            if (bytes.empty())
                bytes.push_back(0);
        }
        const memory_run run = parse_and_print(bytes, round % 3 == 0);
        ASSERT_TRUE(run.result == 0 || run.result == -1);
        if (run.result != 0) {
            ++failures;
            EXPECT_NE(run.out.find("ERROR: "), std::string::npos) << "round " << round;
        }
    }
    // The mutations must reach the failure paths, not only the good ones.
    EXPECT_GT(failures, 400);
    EXPECT_LT(failures, 3900);
}

} // namespace
