#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace shotdate::test {

// How a child process ended, with everything it printed.
struct ProcessResult {
    bool timedOut = false;
    int exitCode = -1; // when it exited
    int termSignal = 0; // when a signal ended it
    std::string out;
    std::string err;
};

// A program (searched in PATH unless it holds a slash) with its stdout and
// stderr captured through pipes, or stderr on a pseudo-terminal to look like
// an interactive run. Both are drained together so that neither can fill up
// and block the child.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args, bool stderrOnTerminal = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // False on timeout or when the child closed stdout before a whole line.
    bool waitForStdoutLine(std::chrono::milliseconds timeout);
    void sendSignal(int signal);
    // Reads to the end and reaps the child; kills it after `timeout`.
    ProcessResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(120));

private:
    bool pump(int timeoutMs); // one round of reading; false once both are closed

    pid_t pid_ = -1;
    int fds_[2] = {-1, -1}; // stdout, stderr
    ProcessResult result_;
};

inline ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args)
{
    return ChildProcess(program, args).finish();
}

} // namespace shotdate::test
