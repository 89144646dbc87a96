#pragma once

// Every message box the user sees goes through here. By default these are JUCE's modal alert
// windows; a test can install its own answerer to record what would have been shown and to
// answer the questions.

#include <juce_gui_basics/juce_gui_basics.h>

enum class MessageIcon
{
    none,
    info,
    warning,
    question
};

class UserMessages
{
public:
    virtual ~UserMessages() = default;
    virtual void showMessage (MessageIcon icon, const juce::String& title, const juce::String& message) = 0;
    // Yes returns true, No false.
    virtual bool askYesNo (MessageIcon icon, const juce::String& title, const juce::String& message) = 0;
};

// The title of every box.
extern const char* const messageTitle;  // "Vorlen"

void showUserMessage (MessageIcon icon, const juce::String& message);
bool askUserYesNo (MessageIcon icon, const juce::String& message);

// Replaces the answerer (nullptr restores JUCE's alert windows). Not owned.
void setUserMessages (UserMessages* answerer);
