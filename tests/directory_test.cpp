// Once the offset lists checked have outgrown the buffer, the untraced parse checks each
// list through the maxima of runs of its words. A list checked that way must give what
// the same list gives as a directory's only block, checked word by word.
#include <gtest/gtest.h>

#include <random>

#include "format/directory.h"
#include "format/le.h"

namespace {

TEST(Directory, ListsCheckedThroughMaximaFailAsWordByWord)
{
    std::mt19937 rng(7);
    const auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
    constexpr std::uint32_t start = 4 + 8 * 9, region = 60000, shared = 8000;
    int compared = 0, failures = 0;
    for (int round = 0; round < 1500; ++round) {
        // Zero bytes but for 0xFF 0xFF at x. The first 8 blocks share a list of 8000 zero
        // offsets at the region's start: 64000 words checked, more than the buffer's
        // bytes. The 9th list has n words and holds x's word as word k (k < 0 or k >= n:
        // x lies outside it), at x's parity or one byte off.
        std::vector<std::uint8_t> many(start + region), one;
        const std::uint32_t x = start + 2 + 2 * shared + below(region - 4 - 2 * shared);
        const std::uint32_t n = 1 + below(12000), edges[] = {0, 1, n - 1, n, n + 1};
        const std::int64_t k = below(2) ? edges[below(5)] : static_cast<std::int64_t>(below(n + 20)) - 10;
        const std::int64_t header = x - 2 - 2 * k - below(2);
        if (header < start + 2 + 2 * shared || header + 2 + 2 * n > static_cast<std::int64_t>(many.size()))
            continue;
        many[x] = many[x + 1] = 0xFF;
        write_u16le(many.data() + start, shared);
        write_u16le(many.data() + header, static_cast<std::uint16_t>(n));
        one = many;
        write_u32le(many.data(), 9);
        for (std::uint32_t i = 0; i < 9; ++i)
            write_u32le(many.data() + 8 + 8 * i, i < 8 ? start : static_cast<std::uint32_t>(header));
        write_u32le(one.data(), 1);
        write_u32le(one.data() + 8, static_cast<std::uint32_t>(header));
        string_directory a, b;
        const status s = parse_directory(directory_layout::with_ids, many, 0, 0, nullptr, a);
        const status t = parse_directory(directory_layout::with_ids, one, 0, 0, nullptr, b);
        ASSERT_TRUE(s.code == t.code && s.offset == t.offset && s.stored == t.stored) << "round " << round;
        ++compared;
        failures += failed(s);
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(failures, 300);
    EXPECT_GT(compared - failures, 100);
}

} // namespace
