// Files longer than 4 GiB: lengths and positions are 64-bit on every platform (on
// Windows through _fseeki64, where a long has 32 bits). The file is sparse where the
// file system allows it.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/file_io.h"

TEST(FileIo, LengthAndPositionsPastFourGibibytes)
{
    const std::string path = (std::filesystem::temp_directory_path() / "kx_file_io_test").string();
    const std::uint64_t far = (std::uint64_t{1} << 32) + 3;
    {
        const file_handle file(std::fopen(path.c_str(), "wb"));
        ASSERT_TRUE(file);
        ASSERT_TRUE(file_seek(file.get(), far));
        ASSERT_EQ(std::fwrite("tail", 1, 4, file.get()), 4u);
    }
    byte_source source = file_source(path);
    ASSERT_FALSE(failed(source_open(source)));
    EXPECT_EQ(source.size, far + 4);
    std::uint8_t tail[4] = {};
    EXPECT_FALSE(failed(source_read(source, far, tail)));
    EXPECT_EQ(std::string(tail, tail + 4), "tail");
    source_close(source);
    std::filesystem::remove(path);
}
