#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace shotdate::test {

using Clock = std::chrono::steady_clock;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, bool stderrOnTerminal)
{
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (stderrOnTerminal) {
        err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        const char* name = err[0] >= 0 && grantpt(err[0]) == 0 && unlockpt(err[0]) == 0 ? ptsname(err[0]) : nullptr;
        err[1] = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    } else if (pipe2(err, O_CLOEXEC) != 0) {
        err[0] = err[1] = -1;
    }
    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed.
    std::vector<std::string> store{program};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : store)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (err[1] >= 0 && pipe2(out, O_CLOEXEC) == 0)
        pid_ = fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0
            || dup2(err[1], STDERR_FILENO) < 0)
            _exit(126);
        // The test runner may have changed these; the child starts clean.
        signal(SIGINT, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    for (const int fd : {out[1], err[1]})
        if (fd >= 0)
            ::close(fd);
    fds_[0] = out[0];
    fds_[1] = err[0];
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (const int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

bool ChildProcess::pump(int timeoutMs)
{
    pollfd polled[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (fds_[0] < 0 && fds_[1] < 0)
        return false;
    if (::poll(polled, 2, timeoutMs) < 0)
        return errno == EINTR;
    std::string* sinks[2] = {&result_.out, &result_.err};
    for (int i = 0; i < 2; ++i) {
        if (fds_[i] < 0 || polled[i].revents == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fds_[i], buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, std::size_t(n));
        } else if (n == 0 || errno != EINTR) { // EOF; a terminal reports EIO once the child is gone
            ::close(fds_[i]);
            fds_[i] = -1;
        }
    }
    return fds_[0] >= 0 || fds_[1] >= 0;
}

bool ChildProcess::waitForStdoutLine(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (result_.out.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || fds_[0] < 0)
            return false;
        pump(int(left));
    }
    return true;
}

void ChildProcess::sendSignal(int signal)
{
    if (pid_ > 0)
        ::kill(pid_, signal);
}

ProcessResult ChildProcess::finish(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return result_;
    // Read until the child has closed both pipes, which it does by ending.
    // Once killed, a grandchild still holding them must not hang the test.
    const auto deadline = Clock::now() + timeout;
    while (pump(100) && Clock::now() < deadline + std::chrono::seconds(5))
        if (!result_.timedOut && Clock::now() >= deadline) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
        }
    int status = 0;
    waitpid(std::exchange(pid_, -1), &status, 0);
    if (WIFEXITED(status))
        result_.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result_.termSignal = WTERMSIG(status);
    return result_;
}

} // namespace shotdate::test
