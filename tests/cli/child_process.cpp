#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace shotdate::test {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The master side of a new pseudo-terminal; `slavePath` names the other end.
int openTerminal(std::string& slavePath)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return -1;
    const char* name = nullptr;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || (name = ptsname(master)) == nullptr) {
        ::close(master);
        return -1;
    }
    slavePath = name;
    return master;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const Options& options)
{
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int errChild = -1;
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (options.stderrOnTerminal) {
        std::string slavePath;
        errFd_ = openTerminal(slavePath);
        if (errFd_ >= 0)
            errChild = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else if (pipe2(errPipe, O_CLOEXEC) == 0) {
        errFd_ = errPipe[0];
        errChild = errPipe[1];
    }
    if (errFd_ < 0 || errChild < 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        closeFd(errFd_);
        closeFd(errChild);
        return;
    }

    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed.
    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* workDir = options.workDir.empty() ? nullptr : options.workDir.c_str();

    pid_ = fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull < 0 || dup2(devNull, STDIN_FILENO) < 0 || dup2(outPipe[1], STDOUT_FILENO) < 0
            || dup2(errChild, STDERR_FILENO) < 0 || (workDir && chdir(workDir) != 0))
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
    ::close(outPipe[1]);
    ::close(errChild);
    outFd_ = outPipe[0];
    if (pid_ < 0) {
        closeFd(outFd_);
        closeFd(errFd_);
        return;
    }
    result_.started = true;
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    closeFd(outFd_);
    closeFd(errFd_);
}

bool ChildProcess::pump(int timeoutMs)
{
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0)
        return false;
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0)
        return errno == EINTR;
    std::string* sinks[2] = {&result_.out, &result_.err};
    int* fdsOwned[2] = {&outFd_, &errFd_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0)
            sinks[i]->append(buffer, std::size_t(n));
        else if (n == 0 || errno != EINTR)
            closeFd(*fdsOwned[i]);  // EOF; a terminal reports EIO once the child is gone
    }
    return outFd_ >= 0 || errFd_ >= 0;
}

bool ChildProcess::waitForStdoutLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (result_.out.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || outFd_ < 0)
            return false;
        pump(int(left.count()));
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
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_)
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        // Pipes closed but the child still running: poll would return at
        // once, so wait a little between checks.
        if (!pump(int(std::min<long long>(left.count(), 50))))
            usleep(10000);
    }
    pid_ = -1;
    // Whatever the child wrote before it ended is still in the pipes. A
    // grandchild holding them open must not hang the test.
    const auto drainDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pump(100) && std::chrono::steady_clock::now() < drainDeadline) {
    }
    if (WIFEXITED(status))
        result_.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result_.termSignal = WTERMSIG(status);
    return result_;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ChildProcess::Options& options)
{
    ChildProcess child(program, args, options);
    return child.finish();
}

} // namespace shotdate::test
