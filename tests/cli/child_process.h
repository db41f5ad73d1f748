#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace shotdate::test {

// How a child process ended, with everything it printed.
struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;     // when it exited
    int termSignal = 0;    // when a signal ended it
    std::string out;
    std::string err;
};

// A child process with its stdout and stderr captured through pipes (or
// stderr on a pseudo-terminal, to look like an interactive run). Both are
// drained together so that neither can fill up and block the child.
class ChildProcess {
public:
    struct Options {
        std::string workDir;             // "" : the test's own
        bool stderrOnTerminal = false;
    };

    // `program` is searched in PATH unless it contains a slash.
    ChildProcess(const std::string& program, const std::vector<std::string>& args, const Options& options);
    ChildProcess(const std::string& program, const std::vector<std::string>& args)
        : ChildProcess(program, args, Options{})
    {
    }
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads until stdout holds a complete first line; false on timeout or
    // when the child closed stdout first.
    bool waitForStdoutLine(std::chrono::milliseconds timeout);

    void sendSignal(int signal);

    // Reads to the end and reaps the child; kills it after `timeout`.
    ProcessResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(120));

private:
    // One round of reading whatever is ready; false when both are closed.
    bool pump(int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ProcessResult result_;
};

// Runs to the end.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ChildProcess::Options& options = {});

} // namespace shotdate::test
