#include "cli/ConsoleReporter.h"

#include "application/UserMessages.h"
#include "tasks/DownloadManager.h"
#include "tasks/SendPresetsThread.h"

namespace
{
constexpr double redrawIntervalMs = 100.0;

juce::String rateText (double bytesPerSecond)
{
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return juce::String (bytesPerSecond / (1024.0 * 1024.0), 1) + " MB/s";
    if (bytesPerSecond >= 1024.0)
        return juce::String (bytesPerSecond / 1024.0, 1) + " KB/s";
    return juce::String ((int) bytesPerSecond) + " B/s";
}

juce::String timeText (double seconds)
{
    const int s = (int) (seconds + 0.5);
    return juce::String (s / 60) + ":" + juce::String (s % 60).paddedLeft ('0', 2) + " left";
}

double nowMs()
{
    return juce::Time::getMillisecondCounterHiRes();
}
} // namespace

juce::String formatProgressLine (const juce::String& step, double fraction, double bytesPerSecond, double secondsLeft)
{
    juce::String line = step + " " + juce::String ((int) (juce::jlimit (0.0, 1.0, fraction) * 100.0)) + "%";
    if (bytesPerSecond >= 0.0)
        line << " " << rateText (bytesPerSecond);
    if (secondsLeft >= 0.0)
        line << " " << timeText (secondsLeft);
    return line;
}

ConsoleReporter::ConsoleReporter (ConsoleLines& console) : lines (console)
{
}

void ConsoleReporter::taskNameChanged (const juce::String& name, juce::Component*)
{
    {
        // A step reported again (the next of several downloads) starts its progress afresh.
        const std::lock_guard<std::mutex> held (stepLock);
        step = name;
        stepBytes = 0;
        stepStartMs = nowMs();
        lastDrawMs = 0.0;
        tenthsShown = 0;
    }
    if (lines.terminal())
    {
        lines.endRedraw();
        if (name.isNotEmpty())
            lines.redraw (formatProgressLine (name, 0.0, -1.0, -1.0));
    }
    else if (name.isNotEmpty())
        lines.line (name);
}

void ConsoleReporter::stepSizeChanged (juce::int64 bytes)
{
    const std::lock_guard<std::mutex> held (stepLock);
    stepBytes = bytes;
    stepStartMs = nowMs();
}

void ConsoleReporter::progressChanged (double fraction, juce::Component*)
{
    if (lines.terminal())
        showProgress (fraction);
    else
        printTenths (fraction);
}

void ConsoleReporter::showProgress (double fraction)
{
    juce::String text;
    {
        const std::lock_guard<std::mutex> held (stepLock);
        const double now = nowMs();
        if (step.isEmpty() || now - lastDrawMs < redrawIntervalMs)
            return;
        lastDrawMs = now;
        const double seconds = (now - stepStartMs) / 1000.0;
        const bool measurable = fraction > 0.0 && seconds > 0.2;
        const double rate = measurable && stepBytes > 0 ? fraction * (double) stepBytes / seconds : -1.0;
        const double left = measurable ? seconds * (1.0 - fraction) / fraction : -1.0;
        text = formatProgressLine (step, fraction, rate, left);
    }
    lines.redraw (text);
}

void ConsoleReporter::printTenths (double fraction)
{
    juce::String text;
    {
        const std::lock_guard<std::mutex> held (stepLock);
        const int tenths = (int) (juce::jlimit (0.0, 1.0, fraction) * 10.0);
        if (step.isEmpty() || tenths <= tenthsShown)
            return;
        tenthsShown = tenths;
        text = step + " " + juce::String (tenths * 10) + "%";
    }
    lines.line (text);
}

// The window's answers to the end of a task, as text; deletion and quitting are left to the
// main thread, which waits for the end.
void ConsoleReporter::taskFinished (int kind, int result, juce::Component*)
{
    switch (kind)
    {
        case (int) TaskKind::deleted:
            if (manager != nullptr)
                manager->taskGone.signal();
            return;
        case (int) TaskKind::presets:
            tellPresetsOutcome (result, manager != nullptr ? manager->restoreTask : nullptr);
            break;
        case (int) TaskKind::update:
            if (result == 0)
                showUserMessage (MessageIcon::warning, "The process has been aborted.");
            break;
        default:
            break;
    }
    reportEnd (kind, result);
}

void ConsoleReporter::quitRequested()
{
    quit = true;
    reportEnd ((int) TaskKind::update, 1);
}

void ConsoleReporter::reportEnd (int kind, int result)
{
    lines.endRedraw();
    finishedResult = result;
    finishedKind = kind;
    ended.signal();
}

bool ConsoleReporter::waitForEnd (int milliseconds)
{
    return ended.wait (milliseconds);
}

void ConsoleReporter::resetEnd()
{
    ended.reset();
    finishedKind = -1;
    finishedResult = 0;
    quit = false;
}

juce::String ConsoleReporter::currentStep()
{
    const std::lock_guard<std::mutex> held (stepLock);
    return step;
}
