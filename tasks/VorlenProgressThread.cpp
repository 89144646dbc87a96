#include "tasks/VorlenProgressThread.h"

#include "application/UserMessages.h"

#include <cstdio>

VorlenProgressThread::VorlenProgressThread (const juce::String& threadName, DownloadFilesListener* taskListener)
    : juce::Thread (threadName), listener (taskListener)
{
}

VorlenProgressThread::~VorlenProgressThread()
{
    stopBeforeDestruction();
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

namespace
{
// A length the server does not announce (-1) is read to the end of the stream: stopping at
// once would hand an empty download to the task as a success.
bool copyToEnd (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out)
{
    while (! in.isExhausted())
    {
        if (task.threadShouldExit())
            return false;
        if (out.writeFromInputStream (in, downloadChunkSize) <= 0)
            break;
    }
    return true;
}

bool copyAnnounced (juce::InputStream& in, int total, VorlenProgressThread& task, juce::OutputStream& out)
{
    for (int done = 0;;)
    {
        if (task.threadShouldExit())
            return false;
        if (task.listener != nullptr)
            task.listener->progressChanged ((double) done / (double) total, nullptr);

        const auto n = out.writeFromInputStream (in, downloadChunkSize);
        done += (int) n;
        if (done >= total)
            return true;
        if (n < downloadChunkSize)
        {
            showUserMessage (MessageIcon::warning, "The internet connection fails.");
            return false;
        }
    }
}
} // namespace

bool downloadToStream (juce::InputStream& in, VorlenProgressThread& task, juce::OutputStream& out)
{
    const auto announced = in.getTotalLength();
    bool ok = true;
    if (announced < 0)
        ok = copyToEnd (in, task, out);
    else if (announced > 0)
        ok = copyAnnounced (in, (int) announced, task, out);
    out.flush();
    return ok;
}
