// The output file: what the target holds afterwards, and no temporary file left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "io/output_file.h"

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
    // (a random name: two builds' tests may run at once)
    const fs::path folder = fs::temp_directory_path() / ("kx_output_file_" + name + std::to_string(std::random_device{}()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> names_in(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
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
    }
    // Another file is no input; a discarded write leaves it as it was.
    output_file out;
    ASSERT_EQ(output_file_open((folder / "OTHER").string(), std::span(inputs).subspan(1), out), output_opened::ok);
    std::fputs("half", out.stream.get());
    output_file_discard(out);
    EXPECT_EQ(contents(folder / "OTHER"), "other");
    EXPECT_EQ(names_in(folder), (std::set<std::string>{"HARD", "IN", "OTHER"}));
    fs::remove_all(folder);
}

#if !defined(_WIN32)

namespace {

bool write_and_commit(const fs::path& path, const std::string& text)
{
    output_file out;
    return output_file_open(path.string(), {}, out) == output_opened::ok &&
           std::fputs(text.c_str(), out.stream.get()) >= 0 && output_file_commit(out);
}

} // namespace

// Under the umask 022: a link stays, the file it names keeps its 0640; a new one gets 0644.
TEST(OutputFile, ALinkAndAModeStayAndANewFileFollowsTheUmask)
{
    const fs::path folder = fresh_folder("link");
    const mode_t umask_before = umask(022);
    fs::create_directories(folder / "real");
    put(folder / "real" / "FILE", "old");
    ASSERT_EQ(chmod((folder / "real" / "FILE").c_str(), 0640), 0);
    fs::create_symlink("real/FILE", folder / "LINK");
    EXPECT_TRUE(write_and_commit(folder / "LINK", "new"));
    EXPECT_TRUE(write_and_commit(folder / "NEW", "new"));
    umask(umask_before);
    EXPECT_TRUE(fs::is_symlink(folder / "LINK"));
    EXPECT_EQ(contents(folder / "real" / "FILE"), "new");
    EXPECT_EQ(names_in(folder / "real"), std::set<std::string>{"FILE"});
    struct stat kept, fresh;
    EXPECT_TRUE(stat((folder / "real" / "FILE").c_str(), &kept) == 0 && stat((folder / "NEW").c_str(), &fresh) == 0 &&
                (kept.st_mode & 07777) == 0640u && (fresh.st_mode & 07777) == 0644u);
    fs::remove_all(folder);
}

// A child ended by a signal while writing: no temporary file, and its status names the signal;
// a handler that the child had before (-SIGTERM: one that exits with 7) gets the signal after.
TEST(OutputFile, ASignalWhileWritingRemovesTheTemporaryFile)
{
    const fs::path folder = fresh_folder("signal");
    put(folder / "OUT", "old");
    for (const int sig : {SIGTERM, SIGINT, SIGHUP, -SIGTERM}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (sig < 0)
                std::signal(-sig, [](int) { _exit(7); });
            output_file out;
            if (output_file_open((folder / "OUT").string(), {}, out) != output_opened::ok)
                _exit(2);
            std::fputs("part of the new file", out.stream.get());
            std::fflush(out.stream.get());
            raise(sig < 0 ? -sig : sig);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(sig < 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 7 : WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << "signal " << sig << ", status " << status;
        EXPECT_TRUE(names_in(folder) == std::set<std::string>{"OUT"} && contents(folder / "OUT") == "old") << sig;
    }
    // The handler is there only while a temporary file is.
    struct sigaction action {};
    EXPECT_TRUE(write_and_commit(folder / "OUT", "new") && sigaction(SIGTERM, nullptr, &action) == 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    // Nor does any signal stay held after a commit or a discard.
    output_file dropped;
    ASSERT_EQ(output_file_open((folder / "OUT").string(), {}, dropped), output_opened::ok);
    output_file_discard(dropped);
    sigset_t held;
    EXPECT_TRUE(pthread_sigmask(SIG_BLOCK, nullptr, &held) == 0 && !sigismember(&held, SIGINT) &&
                !sigismember(&held, SIGTERM) && !sigismember(&held, SIGHUP));
    EXPECT_EQ(names_in(folder), std::set<std::string>{"OUT"});
    fs::remove_all(folder);
}

#endif
