#include "application/MainAppWindow.h"

#include "application/NoInstrumentMessage.h"
#include "application/Settings.h"
#include "application/UserMessages.h"
#include "application/VUEditor.h"
#include "application/VULookAndFeel.h"
#include "application/WindowPlacement.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"
#include "zmodem/ZmodemHooks.h"

namespace
{
const char* const transferRunningMessage = "Wait for the current transfer to be completed.";
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
    saveAndDeleteApplicationSettings();

    // The editor is still there while the tasks go: it signals each task's deletion.
    delete downloadManager;
    downloadManager = nullptr;

    // The content is deleted before the look and feel it draws with.
    clearContentComponent();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    delete lookAndFeel;
}

void MainAppWindow::closeButtonPressed()
{
    if (reportTransferProgress)
    {
        showUserMessage (MessageIcon::warning, transferRunningMessage);
        return;
    }

    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
