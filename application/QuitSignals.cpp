#include "application/QuitSignals.h"

#include <juce_events/juce_events.h>

#if JUCE_LINUX || JUCE_BSD
 #include <atomic>
 #include <csignal>
 #include <fcntl.h>
 #include <thread>
 #include <unistd.h>

namespace
{
int pipeEnds[2] = { -1, -1 };
constexpr char quitByte = 'q';
constexpr char wakeByte = 'w';
constexpr int wakeIntervalMs = 100;
std::atomic<bool> waking { false };
std::thread waker;

void onQuitSignal (int)
{
    const int saved = errno;
    [[maybe_unused]] auto n = ::write (pipeEnds[1], &quitByte, 1);
    errno = saved;
}

void drainPipe (int fd)
{
    bool quitAsked = false;
    char bytes[64];
    for (ssize_t n; (n = ::read (fd, bytes, sizeof bytes)) > 0;)
        for (ssize_t i = 0; i < n; ++i)
            quitAsked = quitAsked || bytes[i] == quitByte;
    if (quitAsked)
        if (auto* application = juce::JUCEApplicationBase::getInstance())
            application->systemRequestedQuit();
}
} // namespace

void installQuitSignals()
{
    if (pipeEnds[0] >= 0 || ::pipe2 (pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    juce::LinuxEventLoop::registerFdCallback (pipeEnds[0], drainPipe);

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
        sigaction (signalNumber, &action, nullptr);
}

void keepWakingMessageLoop()
{
    if (pipeEnds[1] < 0 || waking.exchange (true))
        return;
    waker = std::thread ([]
    {
        while (waking)
        {
            [[maybe_unused]] auto n = ::write (pipeEnds[1], &wakeByte, 1);
            std::this_thread::sleep_for (std::chrono::milliseconds (wakeIntervalMs));
        }
    });
}

void removeQuitSignals()
{
    if (pipeEnds[0] < 0)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP })
        sigaction (signalNumber, &action, nullptr);
    waking = false;
    if (waker.joinable())
        waker.join();
    juce::LinuxEventLoop::unregisterFdCallback (pipeEnds[0]);
    ::close (pipeEnds[0]);
    ::close (pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

#else
void installQuitSignals() {}
void keepWakingMessageLoop() {}
void removeQuitSignals() {}
#endif
