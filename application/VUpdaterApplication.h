#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class MainAppWindow;

class VUpdaterApplication : public juce::JUCEApplication
{
public:
    VUpdaterApplication() = default;
    ~VUpdaterApplication() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void systemRequestedQuit() override;

private:
    MainAppWindow* mainWindow = nullptr;
};
