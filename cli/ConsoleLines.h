#pragma once

// Standard error shared by the task thread (progress, messages) and the main thread (Ctrl-C
// notes): whole lines only, and a progress line redrawn in place on a terminal is cleared
// before any other line is written over it.

#include <juce_core/juce_core.h>

#include <mutex>

class ConsoleLines
{
public:
    explicit ConsoleLines (bool isTerminal);

    bool terminal() const { return isTerminal; }
    void line (const juce::String& text);
    // Replaces the line being redrawn (terminal only).
    void redraw (const juce::String& text);
    // Leaves the redrawn line on the screen and starts a new one.
    void endRedraw();
    // Prints a question and reads the answer line from standard input; false at end of input
    // or when interrupted.
    bool ask (const juce::String& question, juce::String& answer);

private:
    void clearRedrawn();

    const bool isTerminal;
    bool redrawing = false;
    std::mutex lock;
};
