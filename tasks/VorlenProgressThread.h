#pragma once

// The base of every background task: a JUCE thread that reports to the window through its
// listener, and the download step shared by the tasks that fetch from the update server.

#include "tasks/DownloadFilesListener.h"

#include <juce_core/juce_core.h>

#include <atomic>

class VorlenProgressThread : public juce::Thread
{
public:
    VorlenProgressThread (const juce::String& threadName, DownloadFilesListener* taskListener);
    // Stops a thread that still runs, then reports the deletion. The wait has no limit: the
    // derived task's members go right after, and run() must never outlive them; past
    // `stopWaitMs` the wait is logged.
    ~VorlenProgressThread() override;

    juce::InputStream* currentStream = nullptr;  // the download in progress, owned while open
    DownloadFilesListener* listener = nullptr;
    std::atomic<bool> beingDestroyed { false };

    static constexpr int stopWaitMs = 13000;

protected:
    // A derived task calls this first thing in its own destructor: its run() must not outlive
    // the members it uses.
    void stopBeforeDestruction();
};

// Copies `in` into `out` in 8192-byte chunks, reporting progress before each chunk and giving
// up when `task` is asked to exit. A stream that ends before its announced length warns
// "The internet connection fails." and fails.
bool downloadToStream (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out);

constexpr int downloadChunkSize = 8192;
