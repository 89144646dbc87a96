#pragma once

// One HTTP GET from the update server whose every wait is bounded. A server that accepts the
// connection and then says nothing, or stops in the middle of a body, must not keep a task
// (or, for the version documents, the window) waiting for ever; and Cancel must end a read
// that is waiting for bytes, which the stream's own reads never do.

#include <juce_core/juce_core.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct NetworkLimits
{
    int connectMs = 10000;  // until the answer's head has arrived
    int stallMs = 30000;    // one read of the body that brings nothing
    int wholeMs = 0;        // the whole download, when it must not take longer (0: no bound)
};

// What every download uses; tests shorten them.
NetworkLimits& downloadLimits();
// The version documents are read while the window waits for them.
NetworkLimits versionDocumentLimits();

// Nothing the application downloads comes near this; a longer body is refused.
constexpr juce::int64 largestDownloadBytes = (juce::int64) 1 << 30;

class WebDownload : public juce::InputStream
{
public:
    explicit WebDownload (const juce::URL& url, NetworkLimits limits = downloadLimits());
    ~WebDownload() override;

    // Sends the request and waits for the answer's head. True for a 2xx status; a refused
    // connection, a time-out or any other status is false, with the reason in `problem()`.
    bool open();
    int statusCode() const { return status; }
    // Before open(): a redirection is refused instead of followed, so the body can only come
    // from the address asked for.
    void refuseRedirects() { stream.withNumRedirectsToFollow (0); }

    // The body ended in an error (a broken connection, a bad chunk), was cut off by the
    // stall bound, or was cancelled: whatever was read of it is not the whole body.
    bool broken() const;
    bool stalled() const { return expired; }
    juce::String problem() const;

    // From any thread: ends a connection attempt or a read that is waiting, within a second.
    void cancel();

    juce::int64 getTotalLength() override;
    bool isExhausted() override;
    int read (void* destBuffer, int maxBytesToRead) override;
    juce::int64 getPosition() override { return position; }
    bool setPosition (juce::int64 newPosition) override { return newPosition == position; }

private:
    void watch();
    void beginWait() { waitStartedMs = (juce::int64) juce::Time::getMillisecondCounterHiRes(); }
    void endWait() { waitStartedMs = 0; }

    const juce::String address;
    const NetworkLimits limits;
    juce::WebInputStream stream;
    int status = 0;
    juce::int64 position = 0;

    juce::int64 openedMs = 0;
    std::atomic<juce::int64> waitStartedMs { 0 };  // 0 while nothing is being waited for
    std::atomic<bool> connecting { false };
    std::atomic<bool> cancelled { false };
    std::atomic<bool> expired { false };
    std::mutex watchLock;
    std::condition_variable watchWake;
    bool watchEnds = false;
    std::thread watchdog;

    JUCE_DECLARE_NON_COPYABLE (WebDownload)
};
