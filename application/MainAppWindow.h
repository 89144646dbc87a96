#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;

// The one top-level window: the tabbed editor when the instrument was found, otherwise the
// no-instrument warning and quit.
class MainAppWindow : public juce::DocumentWindow
{
public:
    MainAppWindow();
    ~MainAppWindow() override;

    void closeButtonPressed() override;
    // Every way of ending comes here: the running tasks are asked to stop, and the
    // application quits from a timer pass of its own once their threads have ended (or after
    // `quitWaitMs`), never from inside a box or a task's message.
    void quitWhenTasksHaveEnded();

    static constexpr int quitWaitMs = 30000;

private:
    void createEditor();
    bool readyToQuit() const;

    struct QuitTimer : juce::Timer
    {
        explicit QuitTimer (MainAppWindow& w) : window (w) {}
        void timerCallback() override;
        MainAppWindow& window;
        juce::uint32 startedMs = 0;
    };
    QuitTimer quitTimer { *this };

    juce::LookAndFeel* lookAndFeel = nullptr;
    DownloadManager* downloadManager = nullptr;
};
