#pragma once

// How a background task reports to the main window, or to the console of vorlen-cli; every
// operation is called on the task's own thread.

#include <juce_gui_basics/juce_gui_basics.h>

// The first argument of taskFinished.
enum class TaskKind
{
    update = 0,
    deleted = 1,
    installer = 2,
    presets = 3
};

class DownloadFilesListener
{
public:
    virtual ~DownloadFilesListener() = default;

    // An empty name means no task runs: the window hides its task display.
    virtual void taskNameChanged (const juce::String& name, juce::Component* source) = 0;
    virtual void progressChanged (double fraction, juce::Component* source) = 0;
    virtual void taskFinished (int kind, int result, juce::Component* source) = 0;
    virtual void quitRequested() = 0;
    // How many bytes the current step moves (0: not known), for a report that shows bytes per
    // second; the window has no use for it.
    virtual void stepSizeChanged (juce::int64 bytes) { juce::ignoreUnused (bytes); }
};
