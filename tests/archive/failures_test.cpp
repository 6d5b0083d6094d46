// kxps_strings failures that need unusual surroundings or damaged directories: a file
// that cannot be positioned, a section too large to allocate, string offsets outside
// their section. Each checks the whole standard output (what was dumped before the
// failure, then the one message), an empty standard error and exit status 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/archive/kxps_util.h"
#include "tests/support/expect_failed.h"

namespace {

// Index entry n of an archive built by build_archive.
void set_index_entry(byte_string& archive, std::size_t n, std::uint32_t value)
{
    for (std::size_t k = 0; k < 4; ++k)
        archive[4 * n + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

const byte_string section8 = build_section_with_ids({{5, {game_string("AB"), game_string("か\\nき")}}});
const std::string section8_dump = "[  8][  0][  0] = AB\n"
                                  "[  8][  0][  1] = か\\n\n"
                                  "                  き\n";

TEST(ArchiveFailures, FileThatCannotBePositioned)
{
    // A pipe opens but cannot seek; the name is quoted as given.
    for (const char* verbose : {"", "-V"}) {
        std::vector<std::string> args = {"/dev/stdin"};
        if (*verbose)
            args.insert(args.begin(), verbose);
        tool_options options;
        options.stdin_pipe = true;
        expect_failed(run_tool(KXPS_STRINGS_PATH, args, options), "ERROR: can't seek file: /dev/stdin\n");
    }
}

TEST(ArchiveFailures, SectionTooLargeToAllocateAfterACompleteSection8)
{
    if (built_with_address_sanitizer)
        GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
    // Section 43 really lies in the file (256 MiB of sparse zeros), so it is not
    // refused as running past the end; only its allocation fails under the limit.
    constexpr std::uint32_t huge = 256u << 20;
    std::vector<byte_string> sections(44);
    sections[8] = section8;
    byte_string archive = build_archive(sections);
    const auto start = static_cast<std::uint32_t>(archive.size());
    set_index_entry(archive, 44, start + huge);
    scratch_dir dir;
    const std::string path = dir.write("BIG", archive);
    try {
        std::filesystem::resize_file(path, start + huge);
    } catch (const std::filesystem::filesystem_error& e) {
        GTEST_SKIP() << "no room for a sparse file: " << e.what();
    }

    tool_options limited;
    limited.address_space_limit = 128u << 20;
    expect_failed(run_tool(KXPS_STRINGS_PATH, {path}, limited), section8_dump + "ERROR: memory exhausted!\n");

    // The same file without the limit: section 43 is read whole (zeros: no blocks).
    tool_run run = run_kxps({path});
    EXPECT_EQ(run.out, section8_dump);
    EXPECT_EQ(run.err, "COMPLETED!\n");
    EXPECT_EQ(run.status, 0);
}

TEST(ArchiveFailures, StringOffsetOutsideSection8)
{
    // Layout A: one block of two strings after an 18-byte header; the string area is
    // "AB" and the end byte. Offset 2 (the last byte) is accepted, offset 3 is not.
    byte_string section;
    put_u32(section, 1);
    put_u32(section, 7);
    put_u32(section, 12);
    put_u16(section, 2);
    put_u16(section, 2);
    put_u16(section, 3);
    section.insert(section.end(), {'A', 'B', 0x1F});
    const byte_string archive = archive_with(section, build_section_nested({}));

    const std::string message = "ERROR: illegal code offset: 0015 = 0012 + 0003\n";
    expect_failed(dump_archive_bytes(archive), message);
    // The trace written before the failure stays, the message follows it.
    expect_failed(dump_archive_bytes(archive, {"-V"}),
                  "DEBUG: offset=000000B4, size=00000015\n"
                  "DEBUG: +000000B4 num_blocks = 1\n"
                  "DEBUG: +000000B8 [0] id=7 offset=0000000C\n"
                  "DEBUG: +000000C0 [0] count=2\n"
                  "DEBUG: +000000C2 [0][0] offset=0002\n"
                  "DEBUG: +000000C4 [0][1] offset=0003\n" +
                      message);
}

TEST(ArchiveFailures, StringOffsetOutsideSection43AfterACompleteSection8)
{
    // Layout B: the block at 8, its count at 8 + 4 = 12; the strings count from the
    // count field, and the section's last byte (an end byte) lies at 12 + 6.
    byte_string section;
    put_u32(section, 1);
    put_u32(section, 8);
    put_u32(section, 4);
    put_u16(section, 2);
    put_u16(section, 6);
    put_u16(section, 7);
    section.push_back(0x1F);
    const byte_string archive = archive_with(section8, section);
    expect_failed(dump_archive_bytes(archive), section8_dump + "ERROR: illegal code offset: 0013 = 000C + 0007\n");
}

} // namespace
