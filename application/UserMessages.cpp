#include "application/UserMessages.h"

const char* const messageTitle = "Vorlen";

namespace
{
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

// Modal boxes: called from a task thread they run on the message thread and block the caller
// until they are closed.
class AlertWindowMessages : public UserMessages
{
public:
    void showMessage (MessageIcon icon, const juce::String& title, const juce::String& message) override
    {
        juce::AlertWindow::showMessageBox (iconType (icon), title, message);
    }

    bool askYesNo (MessageIcon icon, const juce::String& title, const juce::String& message) override
    {
        return juce::AlertWindow::showOkCancelBox (iconType (icon), title, message, "Yes", "No");
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
