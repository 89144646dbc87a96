#pragma once

// The preset restore: every given file installed as /usr/ap/presets/<name> on the instrument,
// one after the other, cancellable between files. Reports 1 restored, 2 cancelled, 0 error.

#include "tasks/VorlenProgressThread.h"

class SendPresetsThread : public VorlenProgressThread
{
public:
    explicit SendPresetsThread (const juce::Array<juce::File>& presets);
    ~SendPresetsThread() override;

    void run() override;

    const juce::Array<juce::File> files;

    enum Result
    {
        failed = 0,
        restored = 1,
        cancelled = 2
    };

private:
    int sendAll();
};

// Why `preset` cannot go to the instrument, or empty when it can: its name becomes a word of
// shell command lines there, and its content is read for a digest and for the transfer.
juce::String presetRefusal (const juce::File& preset);

// Tells the user what a preset task's end report means: the restore's three outcomes; the
// backup's -1 says nothing, as the backup has told its own result.
void tellPresetsOutcome (int result);
