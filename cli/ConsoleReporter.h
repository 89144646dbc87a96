#pragma once

// The task reports on the console: the step and its progress on standard error, the window's
// end-of-task messages as "warning:" / "info:" lines, and the end of the task made known to
// the main thread, which then deletes the finished task as the window does on its message
// thread.

#include "cli/ConsoleLines.h"
#include "tasks/DownloadFilesListener.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <mutex>

class DownloadManager;

// "Download... 42% 118.3 KB/s 0:07 left"; a negative rate or time is not known and left out.
juce::String formatProgressLine (const juce::String& step, double fraction, double bytesPerSecond, double secondsLeft);

class ConsoleReporter : public DownloadFilesListener
{
public:
    explicit ConsoleReporter (ConsoleLines& console);

    // The manager whose taskGone a deletion report signals; set once it exists.
    void setManager (DownloadManager* owner) { manager = owner; }

    void taskNameChanged (const juce::String& name, juce::Component* source) override;
    void progressChanged (double fraction, juce::Component* source) override;
    void taskFinished (int kind, int result, juce::Component* source) override;
    void quitRequested() override;
    void stepSizeChanged (juce::int64 bytes) override;

    // The end of a task: taskFinished of any kind but `deleted`, or quitRequested.
    bool waitForEnd (int milliseconds);
    void resetEnd();
    int endKind() const { return finishedKind.load(); }
    int endResult() const { return finishedResult.load(); }
    bool quitWasRequested() const { return quit.load(); }
    // The step on show, for the main thread's Ctrl-C notes.
    juce::String currentStep();

private:
    void reportEnd (int kind, int result);
    void showProgress (double fraction);
    void printTenths (double fraction);

    ConsoleLines& lines;
    DownloadManager* manager = nullptr;
    juce::WaitableEvent ended { true };
    std::atomic<int> finishedKind { -1 }, finishedResult { 0 };
    std::atomic<bool> quit { false };

    std::mutex stepLock;
    juce::String step;
    juce::int64 stepBytes = 0;
    double stepStartMs = 0.0, lastDrawMs = 0.0;
    int tenthsShown = 0;
};
