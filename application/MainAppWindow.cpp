#include "application/MainAppWindow.h"

#include "application/Settings.h"
#include "application/UserMessages.h"
#include "device/ShellChannel.h"
#include "zmodem/ZmodemHooks.h"

namespace
{
const char* const noInstrumentMessage =
    "No Vorlen. Please connect your Vorlen to the computer (USB) and restart the application.";
const char* const transferRunningMessage = "Wait for the current transfer to be completed.";

// The image-based look and feel replaces this once its artwork exists.
juce::LookAndFeel* createLookAndFeel()
{
    return new juce::LookAndFeel_V4();
}
} // namespace

MainAppWindow::MainAppWindow()
    : DocumentWindow (juce::JUCEApplication::getInstance()->getApplicationName(),
                      juce::Colours::lightgrey, DocumentWindow::allButtons, true)
{
    lookAndFeel = createLookAndFeel();
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

    showUserMessage (MessageIcon::warning, noInstrumentMessage);
    closeButtonPressed();
}

// The download manager and the tabbed editor are created here once they exist; until then
// the window stays empty while the instrument is connected.
void MainAppWindow::createEditor()
{
}

MainAppWindow::~MainAppWindow()
{
    saveAndDeleteApplicationSettings();
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
