#include "tests/support/HelperProcess.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
std::string readFirstLine (int fd, int timeoutMs)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    for (char c = 0; c != '\n';)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now()).count();
        pollfd watch { fd, POLLIN, 0 };
        if (left <= 0 || ::poll (&watch, 1, (int) left) <= 0 || ::read (fd, &c, 1) != 1)
            break;
        if (c != '\n')
            text.push_back (c);
    }
    return text;
}
} // namespace

HelperProcess::HelperProcess (const std::vector<std::string>& argv, int readyTimeoutMs)
{
    int out[2];
    if (::pipe (out) != 0)
        throw std::runtime_error ("pipe failed");

    pid = ::fork();
    if (pid == 0)
    {
        ::dup2 (out[1], STDOUT_FILENO);
        ::close (out[0]);
        ::close (out[1]);
        std::vector<char*> raw;
        for (auto& a : argv)
            raw.push_back (const_cast<char*> (a.c_str()));
        raw.push_back (nullptr);
        ::execvp (raw[0], raw.data());
        ::_exit (127);
    }
    ::close (out[1]);
    line = readFirstLine (out[0], readyTimeoutMs);
    ::close (out[0]);
}

HelperProcess::~HelperProcess()
{
    stop();
}

void HelperProcess::stop()
{
    if (pid <= 0)
        return;
    ::kill (pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500 && ::waitpid (pid, &status, WNOHANG) == 0; ++i)
        ::usleep (10 * 1000);
    if (::waitpid (pid, &status, WNOHANG) == 0)
    {
        ::kill (pid, SIGKILL);
        ::waitpid (pid, &status, 0);
    }
    pid = -1;
}
