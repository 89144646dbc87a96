#include "cli/ConsoleMessages.h"

const char* messagePrefix (MessageIcon icon)
{
    switch (icon)
    {
        case MessageIcon::warning:  return "warning";
        case MessageIcon::info:     return "info";
        case MessageIcon::question: return "question";
        case MessageIcon::none:     break;
    }
    return "";
}

ConsoleMessages::ConsoleMessages (ConsoleLines& console, bool answerYes, bool canAsk)
    : lines (console), yes (answerYes), interactive (canAsk)
{
}

// Every line of a message carries the prefix, so that a script can grep for each.
void ConsoleMessages::print (const char* prefix, const juce::String& message)
{
    juce::StringArray parts;
    parts.addLines (message.trimEnd());
    for (auto& part : parts)
        lines.line (juce::String (prefix) + (*prefix != 0 ? ": " : "") + part);
}

void ConsoleMessages::showMessage (MessageIcon icon, const juce::String&, const juce::String& message)
{
    if (icon == MessageIcon::warning)
        ++warnings;
    print (messagePrefix (icon), message);
}

bool ConsoleMessages::askYesNo (MessageIcon, const juce::String&, const juce::String& message)
{
    print ("question", message);
    if (yes)
    {
        lines.line ("question: answered Yes (--yes)");
        return true;
    }
    if (! interactive)
    {
        ++refused;
        lines.line ("question: answered No: standard input is not a terminal (use --yes to answer Yes)");
        return false;
    }
    const bool accepted = askOnTerminal (message);
    if (! accepted)
        ++refused;
    return accepted;
}

bool ConsoleMessages::askOnTerminal (const juce::String&)
{
    for (;;)
    {
        juce::String answer;
        if (! lines.ask ("question: Yes or No? [y/N] ", answer))
            return false;
        const juce::String word = answer.toLowerCase();
        if (word == "y" || word == "yes")
            return true;
        if (word.isEmpty() || word == "n" || word == "no")
            return false;
    }
}
