#include "cli/Terminal.h"

#include <csignal>
#include <cstdlib>
#include <io.h>
#include <windows.h>

bool standardInputIsTerminal() { return ::_isatty (0) != 0; }
bool standardErrorIsTerminal() { return ::_isatty (2) != 0; }

int terminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (! GetConsoleScreenBufferInfo (GetStdHandle (STD_ERROR_HANDLE), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// The C runtime delivers Ctrl-C as SIGINT on a thread of its own.
void onInterrupt (void (*handler) (int))
{
    std::signal (SIGINT, handler);
    std::signal (SIGTERM, handler);
}

void setEnvironmentVariable (const char* name, const char* value)
{
    ::_putenv_s (name, value);
}

std::FILE* duplicateStandardOutput()
{
    std::fflush (stdout);
    const int fd = ::_dup (1);
    std::FILE* out = fd >= 0 ? ::_fdopen (fd, "w") : nullptr;
    return out != nullptr ? out : stderr;
}
