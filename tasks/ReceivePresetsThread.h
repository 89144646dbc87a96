#pragma once

// The preset backup: every "*.mz" file of the instrument's /usr/ap/presets/ into a directory
// on the computer. The backup cannot be cancelled; it shows its own result and reports -1.

#include "device/ShellAnswers.h"
#include "tasks/VorlenProgressThread.h"

class ReceivePresetsThread : public VorlenProgressThread
{
public:
    explicit ReceivePresetsThread (const juce::File& targetDirectory);
    ~ReceivePresetsThread() override;

    void run() override;

    const juce::File directory;

private:
    bool receivePresets (const juce::File& staging);
    juce::StringArray keepReceivedFiles (const juce::File& staging, bool complete);
};

