#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

namespace
{
// The message manager for the whole test binary; this thread is its message thread.
class JuceGuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { initialiser = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { initialiser.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> initialiser;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment (new JuceGuiEnvironment());

class FunctionThread : public juce::Thread
{
public:
    explicit FunctionThread (std::function<void()> f) : juce::Thread ("test task"), body (std::move (f)) {}
    void run() override { body(); }

private:
    std::function<void()> body;
};

const char* iconName (MessageIcon icon)
{
    switch (icon)
    {
        case MessageIcon::info: return "info";
        case MessageIcon::warning: return "warning";
        case MessageIcon::question: return "question";
        case MessageIcon::none: break;
    }
    return "none";
}
} // namespace

std::ostream& operator<< (std::ostream& out, const ShownMessage& message)
{
    return out << iconName (message.icon) << ": \"" << message.text.toStdString() << "\"";
}

void RecordedMessages::showMessage (MessageIcon icon, const juce::String&, const juce::String& message)
{
    std::lock_guard<std::mutex> hold (lock);
    messages.push_back ({ icon, message });
}

bool RecordedMessages::askYesNo (MessageIcon icon, const juce::String&, const juce::String& message)
{
    std::lock_guard<std::mutex> hold (lock);
    messages.push_back ({ icon, message });
    return answer;
}

std::vector<ShownMessage> RecordedMessages::shown()
{
    std::lock_guard<std::mutex> hold (lock);
    return messages;
}

void RecordedMessages::clear()
{
    std::lock_guard<std::mutex> hold (lock);
    messages.clear();
}

juce::Component* findNamed (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
    {
        if (child->getName() == name)
            return child;
        if (auto* found = findNamed (*child, name))
            return found;
    }
    return nullptr;
}

void runOnTaskThread (std::function<void()> body)
{
    FunctionThread thread (std::move (body));
    thread.startThread();
    while (thread.isThreadRunning())
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    thread.stopThread (1000);
    // What the thread queued for the message thread last.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
}

void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}
