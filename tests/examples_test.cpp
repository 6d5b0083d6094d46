// The committed example files are what their committed sources make.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/sources.h"

TEST(Examples, RegenerateByteForByteFromTheirSources)
{
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "kx_examples_test";
    std::filesystem::create_directories(out);
    std::string error;
    ASSERT_TRUE(write_examples(KX_EXAMPLES_DIR, out.string(), error)) << error;
    for (const char* name : {"KESTRA", "STRINGS.PAK", "XOR.PAK"}) {
        std::string committed, made;
        ASSERT_TRUE(read_file(std::string(KX_EXAMPLES_DIR) + "/" + name, committed));
        ASSERT_TRUE(read_file((out / name).string(), made));
        EXPECT_FALSE(committed.empty());
        EXPECT_TRUE(made == committed) << name << " differs from its source";
    }
    std::filesystem::remove_all(out);
}
