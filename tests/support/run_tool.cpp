#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

tool_run run_tool(const std::string& binary, const std::vector<std::string>& args,
                  const std::string& cwd, const std::string& stdout_path)
{
    return run_tool(binary, args, tool_options{cwd, stdout_path});
}

tool_run run_tool(const std::string& binary, const std::vector<std::string>& args,
                  const tool_options& options)
{
    const std::string& cwd = options.cwd;
    const std::string& stdout_path = options.stdout_path;
    int out_pipe[2];
    int err_pipe[2];
    int in_pipe[2] = {-1, -1};
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0 || (options.stdin_pipe && pipe(in_pipe) != 0))
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        if (stdout_path == "-") {
            close(STDOUT_FILENO);
        } else if (!stdout_path.empty()) {
            int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(127);
            dup2(fd, STDOUT_FILENO);
            close(fd);
        } else {
            dup2(out_pipe[1], STDOUT_FILENO);
        }
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (options.stdin_pipe) {
            dup2(in_pipe[0], STDIN_FILENO);
            close(in_pipe[0]);
            close(in_pipe[1]);
        } else {
            int null_in = open("/dev/null", O_RDONLY);
            if (null_in >= 0) {
                dup2(null_in, STDIN_FILENO);
                close(null_in);
            }
        }
        if (options.address_space_limit != 0) {
            const rlimit limit{options.address_space_limit, options.address_space_limit};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(127);
        }
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (options.stdin_pipe) { // nothing is written: the child reads an empty pipe
        close(in_pipe[0]);
        close(in_pipe[1]);
    }

    tool_run run;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open_count = 2;
    char buf[65536];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0)
            continue;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0)
                continue;
            ssize_t n = read(fds[k].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[k]->append(buf, static_cast<std::size_t>(n));
            } else {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open_count;
            }
        }
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

scratch_dir::scratch_dir()
{
    std::string templ = (std::filesystem::temp_directory_path() / "kx_test_XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = templ;
}

scratch_dir::~scratch_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string scratch_dir::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
{
    std::string full = path + "/" + name;
    std::ofstream file(full, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("can't write " + full);
    return full;
}
