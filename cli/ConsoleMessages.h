#pragma once

// The message boxes of the window as lines on standard error ("warning: ...", "info: ...")
// and its Yes/No questions as a question on the terminal.

#include "application/UserMessages.h"
#include "cli/ConsoleLines.h"

#include <atomic>

class ConsoleMessages : public UserMessages
{
public:
    // `answerYes`: every question is answered Yes without asking. `canAsk`: standard input is
    // a terminal; without it (and without `answerYes`) every question is answered No.
    ConsoleMessages (ConsoleLines& console, bool answerYes, bool canAsk);

    void showMessage (MessageIcon icon, const juce::String& title, const juce::String& message) override;
    bool askYesNo (MessageIcon icon, const juce::String& title, const juce::String& message) override;

    // Counted from the start: a command compares them before and after its task.
    int warningsShown() const { return warnings.load(); }
    int questionsRefused() const { return refused.load(); }

private:
    void print (const char* prefix, const juce::String& message);
    bool askOnTerminal (const juce::String& message);

    ConsoleLines& lines;
    const bool yes;
    const bool interactive;
    std::atomic<int> warnings { 0 };
    std::atomic<int> refused { 0 };
};

// "warning", "info", "question" or "" for an icon.
const char* messagePrefix (MessageIcon icon);
