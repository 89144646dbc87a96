#include "application/MainAppWindow.h"

#include "application/QuitSignals.h"
#include "application/NoInstrumentMessage.h"
#include "application/Settings.h"
#include "application/UserMessages.h"
#include "application/VUEditor.h"
#include "application/VULookAndFeel.h"
#include "application/WindowPlacement.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

namespace
{
const char* const transferRunningMessage = "Wait for the current transfer to be completed.";
constexpr int quitPollMs = 50;
} // namespace

MainAppWindow::MainAppWindow()
    : DocumentWindow (juce::JUCEApplication::getInstance()->getApplicationName(),
                      juce::Colours::lightgrey, DocumentWindow::allButtons, true)
{
    lookAndFeel = new VULookAndFeel();
    juce::LookAndFeel::setDefaultLookAndFeel (lookAndFeel);
    configureApplicationSettings();

    setUsingNativeTitleBar (false);
    setTitleBarHeight (21);
    setTitleBarButtonsRequired (DocumentWindow::minimiseButton | DocumentWindow::closeButton, true);
    setResizable (false, false);
    centreWithSize (400, 200);
    setVisible (true);

    if (isInstrumentConnected())
    {
        createEditor();
        return;
    }

    showUserMessage (MessageIcon::warning, noInstrumentText());
    closeButtonPressed();
}

// The manager reads the firmware versions from the instrument; the editor then asks it what
// the tabs offer. The window keeps its top-left corner and takes the editor's size, unless that
// would put its bottom (the task strip) or its right side off a small screen.
void MainAppWindow::createEditor()
{
    downloadManager = new DownloadManager();
    setContentOwned (new VUEditor (downloadManager), true);
    keepOnItsDisplay (*this);
}

MainAppWindow::~MainAppWindow()
{
    quitTimer.stopTimer();
    saveAndDeleteApplicationSettings();

    // The editor is still there while the tasks go: it signals each task's deletion.
    delete downloadManager;
    downloadManager = nullptr;

    // The content is deleted before the look and feel it draws with.
    clearContentComponent();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    delete lookAndFeel;
}

// A ZMODEM transfer is never broken off from here; at other times a running task is
// cancelled and the window closes once it has ended.
void MainAppWindow::closeButtonPressed()
{
    if (reportTransferProgress)
    {
        showUserMessage (MessageIcon::warning, transferRunningMessage);
        return;
    }

    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}

void MainAppWindow::quitWhenTasksHaveEnded()
{
    if (quitTimer.isTimerRunning())
        return;
    std::printf ("Quit requested\n");
    std::fflush (stdout);
    releaseTaskMessages();
    if (downloadManager != nullptr)
        downloadManager->stopAllTasks();
    quitTimer.startedMs = juce::Time::getMillisecondCounter();
    quitTimer.startTimer (quitPollMs);
}

bool MainAppWindow::readyToQuit() const
{
    return downloadManager == nullptr || ! downloadManager->anyTaskThreadRunning();
}

void MainAppWindow::QuitTimer::timerCallback()
{
    // Inside a modal box's loop a quit could be lost by JUCE's run loop.
    if (openModalBoxes() > 0)
        return;
    const bool late = juce::Time::getMillisecondCounter() - startedMs > (juce::uint32) quitWaitMs;
    if (! window.readyToQuit() && ! late)
        return;
    if (late)
        std::printf ("A task still runs after %d ms; quitting anyway\n", quitWaitMs);
    stopTimer();
    juce::JUCEApplication::quit();
    keepWakingMessageLoop();
}
