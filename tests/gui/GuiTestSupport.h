#pragma once

// What the component tests share: JUCE's GUI side without a display, a recorder for the
// message boxes, children found by component name, and a juce::Thread that plays a task
// while the test's thread runs the message loop.

#include "application/UserMessages.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <mutex>
#include <vector>

struct ShownMessage
{
    MessageIcon icon;
    juce::String text;
    bool operator== (const ShownMessage& other) const { return icon == other.icon && text == other.text; }
};

std::ostream& operator<< (std::ostream& out, const ShownMessage& message);

class RecordedMessages : public UserMessages
{
public:
    RecordedMessages() { setUserMessages (this); }
    ~RecordedMessages() override { setUserMessages (nullptr); }

    void showMessage (MessageIcon icon, const juce::String&, const juce::String& message) override;
    bool askYesNo (MessageIcon icon, const juce::String&, const juce::String& message) override;

    std::vector<ShownMessage> shown();
    void clear();
    bool answer = false;

private:
    std::mutex lock;
    std::vector<ShownMessage> messages;
};

// The first descendant with this component name, or null.
juce::Component* findNamed (juce::Component& parent, const juce::String& name);
template <typename T>
T* findNamedAs (juce::Component& parent, const juce::String& name)
{
    return dynamic_cast<T*> (findNamed (parent, name));
}

// Runs `body` on a fresh juce::Thread and keeps the message loop going until it is done,
// so that the thread can take the MessageManagerLock or wait for a message box.
void runOnTaskThread (std::function<void()> body);

// Lets the message loop deliver what has been posted so far.
void pumpMessages (int milliseconds = 50);
