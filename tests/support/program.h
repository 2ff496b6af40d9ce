#pragma once

// Another program run by a test (Linux): started with its arguments, its
// messages read as they come, signalled and waited for with bounded waits.

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testing_support {

// A program started with `args` and `environment` (this process's when
// empty), its standard error read as it comes.
class Program {
public:
    // `user`, when not 0: the user id it runs as.
    Program(const std::vector<std::string>& args, const std::vector<std::string>& environment,
            uid_t user = 0) {
        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(err[1], 2);
            if (user != 0 && (::setgid(user) != 0 || ::setuid(user) != 0)) ::_exit(126);
            std::vector<char*> argv, envp;
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            for (const auto& e : environment)
                envp.push_back(const_cast<char*>(e.c_str()));
            argv.push_back(nullptr);
            envp.push_back(nullptr);
            ::execve(argv[0], argv.data(), environment.empty() ? environ : envp.data());
            ::_exit(127);
        }
        ::close(err[1]);
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0) ::close(err_);
    }

    pid_t Pid() const { return pid_; }
    // Everything it wrote so far.
    const std::string& Said() const { return said_; }

    // Waits up to `timeout` for a line holding `text`.
    bool Says(const std::string& text,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (said_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{err_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::read(err_, buffer, sizeof buffer);
            if (n <= 0) return said_.find(text) != std::string::npos;
            said_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    // Sends `signal` and waits up to `timeout` for the exit status; -1 when
    // it did not end, 128 + N when a signal ended it.
    int EndWith(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        if (signal) ::kill(pid_, signal);
        const auto until = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        exited_ = true;
        Says("\n", std::chrono::milliseconds(100)); // what it said last
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string said_;
};

} // namespace testing_support
