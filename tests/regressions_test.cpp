// Every input kept under fuzz/regressions/ (inputs that once crashed or hung a fuzz
// target, and hand-made damaged files) runs through the same in-process pipeline as
// the fuzz targets, plainly and verbosely, on every build. Tracing changes what is
// written, never whether the input is accepted. The case files hold the dumps of some.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/inputs.h"
#include "tests/support/sources.h"

namespace {

void replay_all(const std::string& format)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KX_FUZZ_DIR) + "/regressions/" + format)) {
        SCOPED_TRACE(entry.path().string());
        std::string bytes;
        ASSERT_TRUE(read_file(entry.path().string(), bytes));
        const std::span<const std::uint8_t> input(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        text_output out;
        failure results[2];
        for (int verbose = 0; verbose < 2; ++verbose) {
            out_init_discard(out);
            results[verbose] = (format == "archive" ? run_archive_input(input, verbose != 0, out)
                                                    : run_pack_input(input, verbose != 0, out)).code;
        }
        EXPECT_EQ(results[0], results[1]);
        ++count;
    }
    EXPECT_GT(count, 5u);
}

TEST(FuzzRegressions, ArchiveInputs) { replay_all("archive"); }
TEST(FuzzRegressions, PackInputs) { replay_all("pack"); }

} // namespace
