#include "cli/Terminal.h"

#include <csignal>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

bool standardInputIsTerminal() { return ::isatty (STDIN_FILENO) != 0; }
bool standardErrorIsTerminal() { return ::isatty (STDERR_FILENO) != 0; }

int terminalColumns()
{
    winsize size {};
    return ::ioctl (STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? (int) size.ws_col : 0;
}

void onInterrupt (void (*handler) (int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset (&action.sa_mask);
    action.sa_flags = 0;
    sigaction (SIGINT, &action, nullptr);
    sigaction (SIGTERM, &action, nullptr);
}

void setEnvironmentVariable (const char* name, const char* value)
{
    ::setenv (name, value, 1);
}

std::FILE* duplicateStandardOutput()
{
    std::fflush (stdout);
    const int fd = ::dup (STDOUT_FILENO);
    std::FILE* out = fd >= 0 ? ::fdopen (fd, "w") : nullptr;
    return out != nullptr ? out : stderr;
}
