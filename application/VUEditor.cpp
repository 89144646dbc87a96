#include "application/VUEditor.h"

#include "application/MyTabbedButtonBar.h"
#include "application/UserMessages.h"
#include "tasks/DownloadManager.h"
#include "tasks/SendPresetsThread.h"
#include "tasks/LoadAppInstallerThread.h"

#include <BinaryData.h>

namespace
{
constexpr int editorWidth = 540;
constexpr int editorHeight = 487;
constexpr int tabWidth = 83;
constexpr int tabHeight = 21;
const juce::Point<int> viewOrigin (55, 35);

juce::Image embedded (const void* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}
} // namespace

VUEditor::VUEditor (DownloadManager* downloadManager)
    : juce::Component ("VUEditor"),
      presetsView (downloadManager),
      firmwareView (downloadManager),
      manager (downloadManager)
{
    tabBar = new MyTabbedButtonBar (this);
    addAndMakeVisible (tabBar);
    tabBar->setName ("tabBar");

    progressBar = new juce::ProgressBar (shownProgress);
    addAndMakeVisible (progressBar);
    progressBar->setName ("Progression");

    cancelButton = new juce::ImageButton ("cancelTaskBtn");
    addAndMakeVisible (cancelButton);
    cancelButton->setButtonText ("Cancel");
    cancelButton->addListener (this);
    const juce::Colour none = juce::Colours::transparentBlack;
    cancelButton->setImages (false, true, true,
                             embedded (BinaryData::cancel_normal_png, BinaryData::cancel_normal_pngSize), 1.0f, none,
                             juce::Image(), 1.0f, none,
                             embedded (BinaryData::cancel_down_png, BinaryData::cancel_down_pngSize), 1.0f, none);

    taskLabel = new juce::Label ("TaskName", "task");
    addAndMakeVisible (taskLabel);
    taskLabel->setFont (juce::Font (11.8f, juce::Font::plain));
    taskLabel->setJustificationType (juce::Justification::centredLeft);
    taskLabel->setEditable (false, false, false);
    taskLabel->setColour (juce::Label::textColourId, juce::Colours::white);
    taskLabel->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    taskLabel->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));

    background = embedded (BinaryData::background_png, BinaryData::background_pngSize);

    currentView = nullptr;
    addChildComponent (firmwareView);
    addChildComponent (presetsView);
    addChildComponent (aboutView);

    // The first tab becomes current as it is added, which shows the Firmware view.
    const juce::Colour tabColour = juce::Colours::lightgrey;
    tabBar->addTab ("Firmware_Btn", tabColour, -1);
    tabBar->addTab ("Presets_Btn", tabColour, -1);
    tabBar->addTab ("About_Btn", tabColour, -1);

    setSize (editorWidth, editorHeight);
    progressBar->setPercentageDisplay (false);
    showTaskName ({});

    quitApplication = []
    {
        if (auto* application = juce::JUCEApplication::getInstance())
            application->systemRequestedQuit();
    };
    progressRelay.startTimerHz (25);

    manager->createUpdateTask (this);
    if (manager->checkApplicationUpdate())
        firmwareView.disableAllButtons();
}

// The manager is already gone when the window deletes its content: nothing here may use it.
VUEditor::~VUEditor()
{
    progressRelay.stopTimer();
    delete tabBar;
    delete progressBar;
    delete cancelButton;
    delete taskLabel;
    background = {};
}

void VUEditor::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black);
    g.drawImageWithin (background, 0, 0, editorWidth, editorHeight, juce::RectanglePlacement::centred, false);
}

void VUEditor::resized()
{
    const int tabBarWidth = tabWidth * tabBar->getNumTabs();
    tabBar->setBounds ((getWidth() - tabBarWidth) / 2, 7, tabBarWidth, tabHeight);
    progressBar->setBounds (62, 439, 416, 8);
    cancelButton->setBounds (482, 437, 10, 11);
    taskLabel->setBounds (62, 450, 306, 16);
    if (currentView != nullptr)
        currentView->setTopLeftPosition (viewOrigin);
}

void VUEditor::handleCommandMessage (int commandId)
{
    switch (commandId)
    {
        case deletePresetTasksCommand:
            manager->deletePresetTasks();
            break;
        case deleteInstallerTaskCommand:
            manager->deleteInstallerTask();
            break;
        case quitCommand:
            if (quitApplication)
                quitApplication();
            break;
        default:
            break;
    }
}

void VUEditor::tabChanged (int newTabIndex)
{
    juce::Component* picked = nullptr;
    switch (newTabIndex)
    {
        case 0: picked = &firmwareView; break;
        case 1: picked = &presetsView; break;
        case 2: picked = &aboutView; break;
        default: return;
    }

    if (currentView != nullptr)
        currentView->setVisible (false);
    currentView = picked;
    currentView->setTopLeftPosition (viewOrigin);
    currentView->setVisible (true);
}

void VUEditor::showTaskName (const juce::String& name)
{
    if (name.isEmpty())
    {
        progressBar->setVisible (false);
        taskLabel->setVisible (false);
        cancelButton->setVisible (false);
        return;
    }
    progressBar->setVisible (true);
    taskLabel->setVisible (true);
    cancelButton->setVisible (true);
    taskLabel->setText (name, juce::dontSendNotification);
}

void VUEditor::onMessageThread (std::function<void (VUEditor&)> change)
{
    juce::MessageManager::callAsync ([editor = self, change = std::move (change)]
    {
        if (auto* e = editor.getComponent())
            change (*e);
    });
}

void VUEditor::taskNameChanged (const juce::String& name, juce::Component*)
{
    onMessageThread ([name] (VUEditor& e) { e.showTaskName (name); });
}

void VUEditor::progressChanged (double fraction, juce::Component*)
{
    progress = fraction;
}

// Runs on the task's thread: each box is shown on the message thread and the task waits
// for it to close. Component changes are queued before the box, so the user sees them first.
void VUEditor::taskFinished (int kind, int result, juce::Component* source)
{
    switch (kind)
    {
        case (int) TaskKind::presets:
            tellPresetsOutcome (result, manager->restoreTask);
            progress = 0.0;
            postCommandMessage (deletePresetTasksCommand);
            break;

        case (int) TaskKind::update:
            if (result == 0)
            {
                // The source is one of this editor's buttons: it lives as long as the editor.
                onMessageThread ([source] (VUEditor&) { if (source != nullptr) source->setEnabled (true); });
                showUserMessage (MessageIcon::warning, "The process has been aborted.");
            }
            else if (source == firmwareView.updateFirmwareButton())
                onMessageThread ([] (VUEditor& e) { e.firmwareView.updateVersionDisplay(); });
            progress = 0.0;
            break;

        case (int) TaskKind::deleted:
            manager->taskGone.signal();
            break;

        case (int) TaskKind::installer:
            if (result == 1)
                installerLoaded();
            progress = 0.0;
            postCommandMessage (deleteInstallerTaskCommand);
            break;

        default:
            break;
    }
}

// The installer's path is read while the settings surely exist: once the quit is handled
// the window deletes them. Only this application's own installer is started, on Windows.
void VUEditor::installerLoaded()
{
    showUserMessage (MessageIcon::warning, "The installer is loaded. Press 'Ok' to start it.");
    const juce::File installer = installerToStart();
    postCommandMessage (quitCommand);
    if (installer != juce::File())
        installer.startAsProcess();
}

void VUEditor::quitRequested()
{
    postCommandMessage (quitCommand);
}

void VUEditor::buttonClicked (juce::Button* button)
{
    if (button == cancelButton)
        manager->cancelTask();
}
