#pragma once

// The preset restore: every given file installed as /usr/ap/presets/<name> on the instrument,
// one after the other, cancellable between files. Reports 1 restored, 2 cancelled, 0 error.

#include "tasks/VorlenProgressThread.h"

class SendPresetsThread : public VorlenProgressThread
{
public:
    // `leftOut`: presets already found unsendable, named in the end message ("name: why").
    explicit SendPresetsThread (const juce::Array<juce::File>& presets, const juce::StringArray& leftOut = {});
    ~SendPresetsThread() override;

    void run() override;

    const juce::Array<juce::File> files;
    // Written by the task's thread, read by its end report on the same thread.
    juce::StringArray notRestored;
    int restoredCount = 0;

    enum Result
    {
        failed = 0,
        restored = 1,
        cancelled = 2
    };

private:
    int sendAll();
    bool sendOne (juce::File& local);
};

// Why `preset` cannot go to the instrument, or empty when it can: its name becomes a word of
// shell command lines there, and its content is read for a digest and for the transfer.
juce::String presetRefusal (const juce::File& preset);

// A name as the user can read it in a message: control characters shown as "?".
juce::String printablePresetName (const juce::String& name);

// Tells the user what a preset task's end report means: the restore's three outcomes, with how
// many were restored and which were not when some were left out (`restore` is the manager's
// restore task, null for a backup); the backup's -1 says nothing, as the backup has told its own
// result.
void tellPresetsOutcome (int result, const SendPresetsThread* restore);
