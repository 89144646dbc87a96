#include "views/PresetsTabView.h"

#include "application/DisplayConnection.h"
#include "application/Settings.h"
#include "application/UserMessages.h"
#include "tasks/DownloadManager.h"
#include "views/ViewStyle.h"

#include <BinaryData.h>

namespace
{
const char* const noDirectoryMessage = "You have first to select a directory";
const char* const busyMessage = "A transfer is already running.";
} // namespace

PresetsTabView::PresetsTabView (DownloadManager* downloadManager)
    : juce::Component ("PresetsTabView"), manager (downloadManager)
{
    using namespace viewstyle;

    browseButton = new juce::ImageButton ("BrowseButton");
    addAndMakeVisible (browseButton);
    browseButton->setButtonText ("browse");
    browseButton->setTooltip ("Choose directory");
    browseButton->addListener (this);
    setButtonImages (*browseButton,
                     embeddedImage (BinaryData::browse_normal_png, BinaryData::browse_normal_pngSize),
                     embeddedImage (BinaryData::browse_over_png, BinaryData::browse_over_pngSize),
                     embeddedImage (BinaryData::browse_down_png, BinaryData::browse_down_pngSize));

    directoryLabel = new juce::Label ("LocationDir", "/Documents");
    addAndMakeVisible (directoryLabel);
    styleLabel (*directoryLabel, juce::Font (13.0f, juce::Font::plain), juce::Justification::centredLeft);

    backupButton = new juce::ImageButton ("BackupBtn");
    addAndMakeVisible (backupButton);
    backupButton->setButtonText ("backup");
    backupButton->addListener (this);
    setButtonImages (*backupButton,
                     embeddedImage (BinaryData::backup_presets_normal_png, BinaryData::backup_presets_normal_pngSize),
                     embeddedImage (BinaryData::backup_presets_over_png, BinaryData::backup_presets_over_pngSize),
                     embeddedImage (BinaryData::backup_presets_down_png, BinaryData::backup_presets_down_pngSize));

    restoreButton = new juce::ImageButton ("RestoreBtn");
    addAndMakeVisible (restoreButton);
    restoreButton->setButtonText ("restore");
    restoreButton->addListener (this);
    setButtonImages (*restoreButton,
                     embeddedImage (BinaryData::restore_presets_normal_png, BinaryData::restore_presets_normal_pngSize),
                     embeddedImage (BinaryData::restore_presets_over_png, BinaryData::restore_presets_over_pngSize),
                     embeddedImage (BinaryData::restore_presets_down_png, BinaryData::restore_presets_down_pngSize));

    fieldImage = embeddedImage (BinaryData::field_png, BinaryData::field_pngSize);

    setSize (440, 400);

    // Only the browse dialog writes this key, always with a full path; anything else in a
    // hand-edited file would name a directory relative to wherever the program was started.
    const juce::String stored = applicationSettings().getUserSettings()->getValue (lastPresetsDirKey, {});
    presetsDirectory = juce::File::isAbsolutePath (stored) ? stored : juce::String();
    directoryLabel->setText (presetsDirectory, juce::dontSendNotification);
}

PresetsTabView::~PresetsTabView()
{
    delete browseButton;
    delete directoryLabel;
    delete backupButton;
    delete restoreButton;
}

void PresetsTabView::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black);
    g.drawImageWithin (fieldImage, 8, 58, 303, 21, juce::RectanglePlacement::centred, false);
}

void PresetsTabView::resized()
{
    directoryLabel->setBounds (8, 58, 303, 21);
    browseButton->setBounds (324, 58, 99, 21);
    backupButton->setBounds (8, 152, 416, 38);
    restoreButton->setBounds (8, 243, 416, 38);
}

void PresetsTabView::buttonClicked (juce::Button* button)
{
    if (button == browseButton)
        chooseDirectory();
    else if (button == backupButton)
        backup();
    else if (button == restoreButton)
        restore();
}

void PresetsTabView::chooseDirectory()
{
    juce::FileChooser chooser ("Choose a directory)", juce::File (presetsDirectory), {}, true);
    const bool chosen = chooser.browseForDirectory();
    redrawWindowsAfterBox();
    if (! chosen)
        return;

    presetsDirectory = chooser.getResult().getFullPathName();
    applicationSettings().getUserSettings()->setValue (lastPresetsDirKey, presetsDirectory);
    directoryLabel->setText (presetsDirectory, juce::dontSendNotification);
}

void PresetsTabView::backup()
{
    if (presetsDirectory.isEmpty())
    {
        showUserMessage (MessageIcon::warning, noDirectoryMessage);
        return;
    }
    showUserMessage (MessageIcon::info, presetsBackupNotice);
    if (! manager->backupPresets (juce::File (presetsDirectory)))
        showUserMessage (MessageIcon::warning, busyMessage);
}

void PresetsTabView::restore()
{
    if (presetsDirectory.isEmpty())
    {
        showUserMessage (MessageIcon::warning, noDirectoryMessage);
        return;
    }
    showUserMessage (MessageIcon::info, presetsRestoreNotice);
    if (! manager->restorePresets (juce::File (presetsDirectory)))
        showUserMessage (MessageIcon::warning, busyMessage);
}
