#include "application/UserMessages.h"

#include "application/DisplayConnection.h"

#include <atomic>
#include <memory>

const char* const messageTitle = "Vorlen";

namespace
{
std::atomic<bool> released { false };
int modalDepth = 0;

juce::MessageBoxIconType iconType (MessageIcon icon)
{
    switch (icon)
    {
        case MessageIcon::info:     return juce::MessageBoxIconType::InfoIcon;
        case MessageIcon::warning:  return juce::MessageBoxIconType::WarningIcon;
        case MessageIcon::question: return juce::MessageBoxIconType::QuestionIcon;
        case MessageIcon::none:     break;
    }
    return juce::MessageBoxIconType::NoIcon;
}

// What a waiting task and the box's callback share; either may outlive the other.
struct PendingBox
{
    juce::WaitableEvent closed;
    std::atomic<int> result { 0 };
};

constexpr int releaseCheckMs = 50;

// The box's return value: 1 for the first button of two ("Yes"), 0 for the other or when
// closed any other way.
int showFromTaskThread (const juce::MessageBoxOptions& options)
{
    auto pending = std::make_shared<PendingBox>();
    // Refused once the message loop has been told to stop: nobody would ever show the box.
    const bool posted = juce::MessageManager::callAsync ([options, pending]
    {
        if (released)
        {
            pending->closed.signal();
            return;
        }
        juce::AlertWindow::showAsync (options, [pending] (int value)
        {
            pending->result = value;
            pending->closed.signal();
            redrawWindowsAfterBox();
        });
    });
    if (! posted)
        return 0;

    while (! pending->closed.wait (releaseCheckMs))
        if (released)
            return 0;
    return pending->result;
}

struct ModalScope
{
    ModalScope() { ++modalDepth; }
    ~ModalScope() { --modalDepth; }
};

class AlertWindowMessages : public UserMessages
{
public:
    // Once the application is ending, no box is opened any more: it would hold the quit up.
    void showMessage (MessageIcon icon, const juce::String& title, const juce::String& message) override
    {
        if (released)
            return;
        if (juce::MessageManager::existsAndIsCurrentThread())
        {
            const ModalScope scope;
            juce::AlertWindow::showMessageBox (iconType (icon), title, message);
            redrawWindowsAfterBox();
            return;
        }
        showFromTaskThread (options (icon, title, message).withButton ("OK"));
    }

    bool askYesNo (MessageIcon icon, const juce::String& title, const juce::String& message) override
    {
        if (released)
            return false;
        if (juce::MessageManager::existsAndIsCurrentThread())
        {
            const ModalScope scope;
            const bool yes = juce::AlertWindow::showOkCancelBox (iconType (icon), title, message, "Yes", "No");
            redrawWindowsAfterBox();
            return yes;
        }
        return showFromTaskThread (options (icon, title, message).withButton ("Yes").withButton ("No")) == 1;
    }

private:
    static juce::MessageBoxOptions options (MessageIcon icon, const juce::String& title, const juce::String& message)
    {
        return juce::MessageBoxOptions().withIconType (iconType (icon)).withTitle (title).withMessage (message);
    }
};

AlertWindowMessages alertWindows;
UserMessages* answerer = &alertWindows;
} // namespace

void showUserMessage (MessageIcon icon, const juce::String& message)
{
    answerer->showMessage (icon, messageTitle, message);
}

bool askUserYesNo (MessageIcon icon, const juce::String& message)
{
    return answerer->askYesNo (icon, messageTitle, message);
}

void setUserMessages (UserMessages* replacement)
{
    answerer = replacement != nullptr ? replacement : &alertWindows;
}

void releaseTaskMessages()
{
    released = true;
    if (juce::MessageManager::existsAndIsCurrentThread())
        if (auto* modal = juce::ModalComponentManager::getInstanceWithoutCreating())
            modal->cancelAllModalComponents();
}

int openModalBoxes()
{
    return modalDepth;
}
