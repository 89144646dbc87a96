#pragma once

// The main window's content: the image tabs, the current tab's view, and the task strip
// (progress bar, cancel button, task name). It is the listener of every background task:
// their reports change the strip and end in the message boxes, and whatever changes the
// manager's tasks or ends the application is posted back to the message thread.

#include "application/IMyTabListener.h"
#include "tasks/DownloadFilesListener.h"
#include "views/AboutTabView.h"
#include "views/FwTabView.h"
#include "views/PresetsTabView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>

class DownloadManager;
class MyTabbedButtonBar;

class VUEditor : public juce::Component,
                 public IMyTabListener,
                 public DownloadFilesListener,
                 public juce::Button::Listener
{
public:
    explicit VUEditor (DownloadManager* manager);
    ~VUEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void handleCommandMessage (int commandId) override;

    void tabChanged (int newTabIndex) override;

    void taskNameChanged (const juce::String& name, juce::Component* source) override;
    void progressChanged (double fraction, juce::Component* source) override;
    void taskFinished (int kind, int result, juce::Component* source) override;
    void quitRequested() override;

    void buttonClicked (juce::Button* button) override;

    static constexpr int deletePresetTasksCommand = 0x555555;
    static constexpr int deleteInstallerTaskCommand = 0x555556;
    static constexpr int quitCommand = 0x555557;

    // What the quit command does; by default the application's systemRequestedQuit.
    std::function<void()> quitApplication;

private:
    void showTaskName (const juce::String& name);
    // Runs `change` later on the message thread if the editor still exists then. A task's
    // reports reach the components this way, never through a MessageManagerLock taken for
    // the task's thread: that lock gives up once the thread is asked to exit, which would
    // drop the reports of a cancelled task.
    void onMessageThread (std::function<void (VUEditor&)> change);
    void installerLoaded();

    struct ProgressRelay : juce::Timer
    {
        explicit ProgressRelay (VUEditor& e) : editor (e) {}
        void timerCallback() override { editor.shownProgress = editor.progress.load(); }
        VUEditor& editor;
    };

    juce::Component* currentView = nullptr;
    AboutTabView aboutView;
    PresetsTabView presetsView;
    FwTabView firmwareView;
    DownloadManager* manager = nullptr;
    // Written by the task thread; copied on the message thread into the value the progress
    // bar polls, which JUCE binds as a plain double.
    std::atomic<double> progress { 0.0 };
    double shownProgress = 0.0;
    ProgressRelay progressRelay { *this };
    // Made on the message thread, so that copies made by task threads share one reference.
    juce::Component::SafePointer<VUEditor> self { this };
    MyTabbedButtonBar* tabBar = nullptr;
    juce::ProgressBar* progressBar = nullptr;
    juce::ImageButton* cancelButton = nullptr;
    juce::Label* taskLabel = nullptr;
    juce::Image background;

    JUCE_DECLARE_NON_COPYABLE (VUEditor)
};
