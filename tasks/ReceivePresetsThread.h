#pragma once

// The preset backup: every "*.mz" file of the instrument's /usr/ap/presets/ into a directory
// on the computer. The backup cannot be cancelled; it shows its own result and reports -1.

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

// The number of files an "ls" answer (its line ends already removed) lists, counted the way
// the progress is meant: every ".mz" ends one name; whatever follows the last one is one more.
int countListedPresets (const juce::String& lsAnswer);
