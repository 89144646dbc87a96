#include "tasks/VorlenProgressThread.h"

#include "application/UserMessages.h"

#include <cstdio>

VorlenProgressThread::VorlenProgressThread (const juce::String& threadName, DownloadFilesListener* taskListener)
    : juce::Thread (threadName), listener (taskListener)
{
    addListener (this);
}

VorlenProgressThread::~VorlenProgressThread()
{
    stopBeforeDestruction();
    removeListener (this);
    if (listener != nullptr)
        listener->taskFinished ((int) TaskKind::deleted, 0, nullptr);
}

void VorlenProgressThread::stopBeforeDestruction()
{
    if (! isThreadRunning())
        return;
    beingDestroyed = true;
    signalThreadShouldExit();
    if (waitForThreadToExit (stopWaitMs))
        return;
    std::printf ("Task \"%s\" still runs after %d ms; waiting for it to end\n", getThreadName().toRawUTF8(), stopWaitMs);
    std::fflush (stdout);
    waitForThreadToExit (-1);
}

bool VorlenProgressThread::openDownload (const juce::URL& url, bool refuseRedirects)
{
    closeDownload();
    WebDownload* opened = nullptr;
    {
        const juce::ScopedLock hold (downloadLock);
        download = std::make_unique<WebDownload> (url);
        currentStream = opened = download.get();
    }
    if (refuseRedirects)
        opened->refuseRedirects();
    // A Cancel that came before the download was registered would otherwise be missed.
    if (threadShouldExit())
        opened->cancel();
    return opened->open();
}

void VorlenProgressThread::closeDownload()
{
    std::unique_ptr<WebDownload> closing;
    {
        const juce::ScopedLock hold (downloadLock);
        closing = std::move (download);
        currentStream = nullptr;
    }
}

// Called on the thread that cancels the task.
void VorlenProgressThread::exitSignalSent()
{
    const juce::ScopedLock hold (downloadLock);
    if (download != nullptr)
        download->cancel();
}

namespace
{
enum class BodyEnd
{
    whole,
    cancelled,
    broken,
    empty,
    tooLong,
    notWritten
};

void reportProgress (VorlenProgressThread& task, juce::int64 done, juce::int64 total)
{
    if (task.listener != nullptr && total > 0)
        task.listener->progressChanged ((double) done / (double) total, nullptr);
}

BodyEnd copyBody (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out)
{
    const juce::int64 total = in.getTotalLength();  // -1 when the server did not announce it
    if (total > largestDownloadBytes)
        return BodyEnd::tooLong;
    if (task.listener != nullptr)
        task.listener->stepSizeChanged (juce::jmax ((juce::int64) 0, total));

    juce::HeapBlock<char> buffer ((size_t) downloadChunkSize);
    juce::int64 done = 0;
    while (! task.threadShouldExit() && (total < 0 || done < total))
    {
        reportProgress (task, done, total);
        const int wanted = total < 0 ? downloadChunkSize : (int) juce::jmin ((juce::int64) downloadChunkSize, total - done);
        const int n = in.read (buffer, wanted);
        if (n <= 0)
            break;
        if (! out.write (buffer, (size_t) n))
            return BodyEnd::notWritten;
        done += n;
        if (done > largestDownloadBytes)
            return BodyEnd::tooLong;
    }

    if (task.threadShouldExit())
        return BodyEnd::cancelled;
    auto* web = dynamic_cast<WebDownload*> (&in);
    if ((total >= 0 && done < total) || (web != nullptr && web->broken()))
        return BodyEnd::broken;
    return done == 0 ? BodyEnd::empty : BodyEnd::whole;
}

// Data that the output stream's buffer held until now can fail to reach the disk as well.
bool writtenOut (juce::OutputStream& out)
{
    out.flush();
    auto* file = dynamic_cast<juce::FileOutputStream*> (&out);
    return file == nullptr || file->getStatus().wasOk();
}

juce::String whatWasWrong (BodyEnd end, juce::InputStream& in)
{
    switch (end)
    {
        case BodyEnd::empty:   return "the body is empty";
        case BodyEnd::tooLong: return "the body is longer than " + juce::String (largestDownloadBytes) + " bytes";
        case BodyEnd::broken:
            if (auto* web = dynamic_cast<WebDownload*> (&in))
                return web->problem();
            return "the body ended before its announced length";
        default: return {};
    }
}

void explain (BodyEnd end, juce::InputStream& in, juce::OutputStream& out)
{
    if (end == BodyEnd::whole || end == BodyEnd::cancelled)
        return;
    if (end == BodyEnd::notWritten)
    {
        auto* file = dynamic_cast<juce::FileOutputStream*> (&out);
        const juce::String why = file != nullptr ? file->getStatus().getErrorMessage() : juce::String ("write error");
        std::printf ("Download not saved: %s\n", why.toRawUTF8());
        showUserMessage (MessageIcon::warning, "The download cannot be saved on this computer: " + why);
        return;
    }
    std::printf ("Download failed: %s\n", whatWasWrong (end, in).toRawUTF8());
    showUserMessage (MessageIcon::warning, "The internet connection fails.");
}
} // namespace

bool downloadToStream (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out)
{
    BodyEnd end = copyBody (in, task, out);
    if (! writtenOut (out) && (end == BodyEnd::whole || end == BodyEnd::empty))
        end = BodyEnd::notWritten;
    explain (end, in, out);
    return end == BodyEnd::whole;
}
