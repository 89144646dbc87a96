#include "tasks/WebDownload.h"

#include <cstdio>

namespace
{
constexpr int watchPeriodMs = 100;
constexpr int versionDocumentWaitMs = 3000;
}

NetworkLimits& downloadLimits()
{
    static NetworkLimits limits;
    return limits;
}

NetworkLimits versionDocumentLimits()
{
    const NetworkLimits& usual = downloadLimits();
    const int wait = juce::jmin (usual.connectMs, usual.stallMs, versionDocumentWaitMs);
    return { wait, wait, 2 * wait };
}

WebDownload::WebDownload (const juce::URL& url, NetworkLimits waitLimits)
    : address (url.toString (false)), limits (waitLimits), stream (url, false)
{
}

WebDownload::~WebDownload()
{
    {
        std::lock_guard<std::mutex> hold (watchLock);
        watchEnds = true;
    }
    watchWake.notify_all();
    if (watchdog.joinable())
        watchdog.join();
}

bool WebDownload::open()
{
    connecting = true;
    openedMs = (juce::int64) juce::Time::getMillisecondCounterHiRes();
    beginWait();
    watchdog = std::thread ([this] { watch(); });
    const bool connected = ! cancelled && stream.connect (nullptr);
    endWait();
    connecting = false;

    status = connected ? stream.getStatusCode() : 0;
    const bool ok = connected && ! cancelled && ! expired && status >= 200 && status <= 299;
    if (! ok)
        std::printf ("Download of %s: %s\n", address.toRawUTF8(), problem().toRawUTF8());
    return ok;
}

// Between the stream's reads nothing waits on the network, so only a read (or the connection)
// that has gone on for too long is cut off.
void WebDownload::watch()
{
    std::unique_lock<std::mutex> hold (watchLock);
    while (! watchWake.wait_for (hold, std::chrono::milliseconds (watchPeriodMs), [this] { return watchEnds; }))
    {
        const juce::int64 since = waitStartedMs, now = (juce::int64) juce::Time::getMillisecondCounterHiRes();
        const int limit = connecting ? limits.connectMs : limits.stallMs;
        if ((since != 0 && now - since > limit) || (limits.wholeMs > 0 && now - openedMs > limits.wholeMs))
        {
            expired = true;
            stream.cancel();
            return;
        }
    }
}

void WebDownload::cancel()
{
    cancelled = true;
    stream.cancel();
}

bool WebDownload::broken() const
{
    return cancelled || expired || stream.isError();
}

juce::String WebDownload::problem() const
{
    if (cancelled)
        return "cancelled";
    if (expired)
        return connecting || status == 0 ? "no answer within " + juce::String (limits.connectMs) + " ms"
                                         : "no data for " + juce::String (limits.stallMs) + " ms";
    if (status == 0)
        return "no connection";
    if (status < 200 || status > 299)
        return "HTTP status " + juce::String (status);
    if (stream.isError())
        return "the connection broke off after " + juce::String (position) + " bytes";
    return "complete";
}

juce::int64 WebDownload::getTotalLength()
{
    return status != 0 ? stream.getTotalLength() : -1;
}

bool WebDownload::isExhausted()
{
    return status == 0 || broken() || stream.isExhausted();
}

int WebDownload::read (void* destBuffer, int maxBytesToRead)
{
    if (status == 0 || cancelled || expired)
        return 0;
    beginWait();
    const int n = stream.read (destBuffer, maxBytesToRead);
    endWait();
    if (n > 0)
        position += n;
    return juce::jmax (0, n);
}
