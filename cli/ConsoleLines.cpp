#include "cli/ConsoleLines.h"

#include "cli/Terminal.h"

#include <cstdio>
#include <cstring>

ConsoleLines::ConsoleLines (bool terminal) : isTerminal (terminal)
{
}

namespace
{
// A redrawn line that wraps can no longer be cleared with a carriage return.
juce::String fitted (const juce::String& text)
{
    const int columns = terminalColumns();
    if (columns < 2 || text.length() < columns)
        return text;
    return text.substring (0, columns - 1);
}
} // namespace

void ConsoleLines::clearRedrawn()
{
    if (redrawing)
        std::fputs ("\r\033[K", stderr);
    redrawing = false;
}

void ConsoleLines::line (const juce::String& text)
{
    const std::lock_guard<std::mutex> held (lock);
    clearRedrawn();
    std::fprintf (stderr, "%s\n", text.toRawUTF8());
    std::fflush (stderr);
}

void ConsoleLines::redraw (const juce::String& text)
{
    const std::lock_guard<std::mutex> held (lock);
    std::fprintf (stderr, "\r\033[K%s", fitted (text).toRawUTF8());
    std::fflush (stderr);
    redrawing = true;
}

void ConsoleLines::endRedraw()
{
    const std::lock_guard<std::mutex> held (lock);
    if (redrawing)
        std::fputs ("\n", stderr);
    redrawing = false;
    std::fflush (stderr);
}

bool ConsoleLines::ask (const juce::String& question, juce::String& answer)
{
    {
        const std::lock_guard<std::mutex> held (lock);
        clearRedrawn();
        std::fprintf (stderr, "%s", question.toRawUTF8());
        std::fflush (stderr);
    }
    char buffer[256];
    if (std::fgets (buffer, sizeof (buffer), stdin) == nullptr)
    {
        std::clearerr (stdin);
        line ({});
        return false;
    }
    answer = juce::String (buffer).trim();
    return true;
}
