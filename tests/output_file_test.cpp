// The atomic output file: what the target holds afterwards, and that no temporary file
// is left beside it, whatever ended the write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/output_file.h"

#if !defined(_WIN32)
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path fresh_folder(const std::string& name)
{
    const fs::path folder = fs::temp_directory_path() / ("kx_output_file_" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void put(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool write_and_commit(const fs::path& path, const std::string& text)
{
    output_file out;
    if (output_file_open(path.string(), {}, out) != output_opened::ok)
        return false;
    std::fputs(text.c_str(), out.stream.get());
    return output_file_commit(out);
}

} // namespace

TEST(OutputFile, AnInputUnderAnotherNameIsRefusedBeforeAnythingIsWritten)
{
    const fs::path folder = fresh_folder("refused");
    put(folder / "IN", "input");
    put(folder / "OTHER", "other");
    fs::create_hard_link(folder / "IN", folder / "HARD");
    const std::vector<std::string> inputs = {(folder / "OTHER").string(), (folder / "IN").string()};
    for (const fs::path& named : {folder / "." / "IN", folder / "HARD"}) {
        output_file out;
        EXPECT_EQ(output_file_open(named.string(), inputs, out), output_opened::is_input) << named;
        EXPECT_EQ(out.input, 1u);
        EXPECT_FALSE(out.stream);
    }
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"HARD", "IN", "OTHER"}));
    EXPECT_EQ(contents(folder / "IN"), "input");
    // Another file is no input; a discarded write leaves it as it was.
    output_file out;
    ASSERT_EQ(output_file_open((folder / "NEW").string(), inputs, out), output_opened::ok);
    EXPECT_EQ(names_in(folder).size(), 4u);
    output_file_discard(out);
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"HARD", "IN", "OTHER"}));
    ASSERT_EQ(output_file_open((folder / "OTHER").string(), {}, out), output_opened::ok);
    std::fputs("half", out.stream.get());
    output_file_discard(out);
    EXPECT_EQ(contents(folder / "OTHER"), "other");
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"HARD", "IN", "OTHER"}));
    fs::remove_all(folder);
}

#if !defined(_WIN32)

TEST(OutputFile, ALinkStaysAndTheFileItNamesIsReplaced)
{
    const fs::path folder = fresh_folder("link");
    fs::create_directories(folder / "real");
    put(folder / "real" / "FILE", "old");
    fs::create_symlink("real/FILE", folder / "LINK");
    ASSERT_TRUE(write_and_commit(folder / "LINK", "new"));
    EXPECT_TRUE(fs::is_symlink(folder / "LINK"));
    EXPECT_EQ(fs::read_symlink(folder / "LINK"), "real/FILE");
    EXPECT_EQ(contents(folder / "real" / "FILE"), "new");
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"LINK", "real"}));
    EXPECT_EQ(names_in(folder / "real"), std::vector<std::string>{"FILE"});
    fs::remove_all(folder);
}

TEST(OutputFile, AnExistingModeIsKeptAndANewFileFollowsTheUmask)
{
    const fs::path folder = fresh_folder("mode");
    const mode_t umask_before = umask(022);
    put(folder / "KEPT", "old");
    ASSERT_EQ(chmod((folder / "KEPT").c_str(), 0640), 0);
    EXPECT_TRUE(write_and_commit(folder / "KEPT", "new"));
    EXPECT_TRUE(write_and_commit(folder / "NEW", "new"));
    umask(umask_before);
    struct stat kept, fresh;
    ASSERT_EQ(stat((folder / "KEPT").c_str(), &kept), 0);
    ASSERT_EQ(stat((folder / "NEW").c_str(), &fresh), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0640u);
    EXPECT_EQ(fresh.st_mode & 07777, 0644u);
    EXPECT_EQ(contents(folder / "KEPT"), "new");
    fs::remove_all(folder);
}

// A child opens the output, writes part of it and is ended by a signal: the temporary file
// goes, the old target stays, and the child's status names the signal.
TEST(OutputFile, ASignalWhileWritingRemovesTheTemporaryFile)
{
    const fs::path folder = fresh_folder("signal");
    put(folder / "OUT", "old");
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            output_file out;
            if (output_file_open((folder / "OUT").string(), {}, out) != output_opened::ok)
                _exit(2);
            std::fputs("part of the new file", out.stream.get());
            std::fflush(out.stream.get());
            raise(sig);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << "signal " << sig << ", exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(names_in(folder), std::vector<std::string>{"OUT"}) << "signal " << sig;
        EXPECT_EQ(contents(folder / "OUT"), "old");
    }
    // The handlers are there only while a temporary file is.
    struct sigaction action {};
    ASSERT_TRUE(write_and_commit(folder / "OUT", "new"));
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    fs::remove_all(folder);
}

#endif
