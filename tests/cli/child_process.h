// A program run as a child process: its standard input given, its standard output and
// error gathered, its exit code or signal kept.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace kavuro::test {

struct ChildResult {
    int exitCode = -1;  // -1 when it ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class ChildProcess {
public:
    // Starts program with arguments; input goes to its standard input, which is then closed.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 std::string input = {})
        : input_(std::move(input)) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        inFd_ = in[1];
        outFd_ = out[0];
        errFd_ = err[0];
        ::fcntl(inFd_, F_SETFL, O_NONBLOCK);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        for (int fd : {inFd_, outFd_, errFd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) { ::kill(pid_, signal); }

    // Feeds the input, gathers both outputs until they close, then reaps the child.
    ChildResult Wait() {
        std::size_t fed = 0;
        while (outFd_ >= 0 || errFd_ >= 0) {
            std::vector<pollfd> fds;
            if (inFd_ >= 0) {
                fds.push_back({inFd_, POLLOUT, 0});
            }
            for (int fd : {outFd_, errFd_}) {
                if (fd >= 0) {
                    fds.push_back({fd, POLLIN, 0});
                }
            }
            if (inFd_ >= 0 && fed == input_.size()) {
                ::close(inFd_);
                inFd_ = -1;
                continue;
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                break;
            }
            for (const pollfd& p : fds) {
                if (p.revents == 0) {
                    continue;
                }
                if (p.fd == inFd_) {
                    const ssize_t n = ::write(inFd_, input_.data() + fed, input_.size() - fed);
                    if (n > 0) {
                        fed += static_cast<std::size_t>(n);
                    } else {
                        fed = input_.size();  // the child stopped reading
                    }
                    continue;
                }
                std::array<char, 4096> buffer{};
                const ssize_t n = ::read(p.fd, buffer.data(), buffer.size());
                std::string& into = p.fd == outFd_ ? result_.out : result_.err;
                if (n > 0) {
                    into.append(buffer.data(), static_cast<std::size_t>(n));
                } else {
                    ::close(p.fd);
                    (p.fd == outFd_ ? outFd_ : errFd_) = -1;
                }
            }
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waited_ = true;
        if (WIFEXITED(status)) {
            result_.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result_.signal = WTERMSIG(status);
        }
        return result_;
    }

private:
    std::string input_;
    pid_t pid_ = -1;
    bool waited_ = false;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ChildResult result_;
};

}  // namespace kavuro::test
