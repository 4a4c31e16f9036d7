#pragma once
// Runs a program of the build (the tool, the simulator) as a child process, its output going
// to files, with extra environment variables. The destructor ends a child still running.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace verup::test {

class Subprocess {
public:
    Subprocess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extra_env,
               const std::string& out_file, const std::string& err_file)
    {
        // The test's environment with `extra_env` over it.
        std::map<std::string, std::string> env(extra_env);
        for (char** e = environ; *e != nullptr; ++e)
            if (const char* eq = std::strchr(*e, '='))
                env.emplace(std::string(*e, static_cast<std::size_t>(eq - *e)), eq + 1);
        std::vector<std::string> texts;
        std::vector<char*> args, envp;
        for (const auto& [key, value] : env)
            texts.push_back(key + "=" + value);
        for (auto& e : texts)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " + std::strerror(rc));
    }
    ~Subprocess()
    {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGTERM);
            if (Wait(std::chrono::seconds(10)) == kStillRunning) {
                ::kill(pid_, SIGKILL);
                int status = 0;
                ::waitpid(pid_, &status, 0);
            }
        }
    }
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // Sends `signal` to the child (SIGKILL: a crash that runs no clean-up).
    void Signal(int signal)
    {
        if (pid_ > 0 && !exited_)
            ::kill(pid_, signal);
    }

    static constexpr int kStillRunning = -1000;
    static constexpr int kKilledBySignal = -1001;

    // The exit code, or kStillRunning when `limit` (real time) passed first.
    int Wait(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : kKilledBySignal;
            }
            if (std::chrono::steady_clock::now() >= end)
                return kStillRunning;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

struct ProgramRun {
    int exit_code = Subprocess::kStillRunning;
    std::string out;
    std::string err;
};

// Runs a program to its end (killed after `limit`), its output captured in `dir`.
inline ProgramRun RunProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                             const TempDir& dir, std::chrono::milliseconds limit = std::chrono::minutes(3))
{
    static int serial = 0;
    const std::string stem = "run" + std::to_string(++serial);
    ProgramRun run;
    {
        Subprocess child(argv, env, dir.File(stem + ".out"), dir.File(stem + ".err"));
        run.exit_code = child.Wait(limit);
    }
    run.out = dir.Read(stem + ".out");
    run.err = dir.Read(stem + ".err");
    return run;
}

// The rest of the line after `tag` once the file at `path` holds that line; "" when the cap
// (a backstop for a program that never says it) passes first.
inline std::string WaitForLine(const std::string& path, const std::string& tag,
                               std::chrono::milliseconds cap = std::chrono::seconds(30))
{
    for (const auto end = std::chrono::steady_clock::now() + cap; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        const std::string text = TempDir::ReadFile(path);
        const auto at = text.find(tag);
        const auto eol = at == std::string::npos ? at : text.find('\n', at + tag.size());
        if (eol != std::string::npos)
            return text.substr(at + tag.size(), eol - at - tag.size());
    }
    return {};
}

}  // namespace verup::test
