#pragma once

// Every message box the user sees goes through here. By default these are JUCE's alert
// windows; a test can install its own answerer to record what would have been shown and to
// answer the questions.
//
// Asked from a task thread, a box is opened asynchronously on the message thread and the
// task waits until it is closed: a modal loop run inside a message that a task posted would
// nest JUCE's Linux run loop, which is not re-entrant there and can lose the wake-up of a
// later quit. Asked on the message thread itself (a click, the window's construction), the
// box stays modal, as the caller needs its answer at once.

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

// The application is ending: boxes that tasks wait on are closed (a question counts as
// "No"), and later boxes pass at once, so that nothing waits for a user who is gone.
// On the message thread it also dismisses every modal box. Cannot be undone.
void releaseTaskMessages();

// How many modal boxes of the message thread are open right now (a quit must not happen
// inside one: see above). Message thread only.
int openModalBoxes();
