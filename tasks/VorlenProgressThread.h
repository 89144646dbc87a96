#pragma once

// The base of every background task: a JUCE thread that reports to the window through its
// listener, and the download step shared by the tasks that fetch from the update server.

#include "tasks/DownloadFilesListener.h"
#include "tasks/WebDownload.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

class VorlenProgressThread : public juce::Thread, private juce::Thread::Listener
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

    // Connects to `url` for this task; the download becomes `currentStream` until
    // closeDownload(). Cancel ends its connection attempt and its reads at once. False (the
    // reason logged, nothing shown) when the server cannot be reached or does not answer
    // with success; the download must still be closed.
    bool openDownload (const juce::URL& url, bool refuseRedirects = false);
    void closeDownload();

private:
    void exitSignalSent() override;

    juce::CriticalSection downloadLock;
    std::unique_ptr<WebDownload> download;
};

// Copies `in` into `out` in 8192-byte chunks, reporting progress before each chunk and giving
// up when `task` is asked to exit (no message then). A body that ends before its announced
// length, breaks off, stalls, is empty or too long warns "The internet connection fails.";
// a file that cannot be written says so. True only for a whole body, whole on disk.
bool downloadToStream (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out);

constexpr int downloadChunkSize = 8192;
