#include "views/FwTabView.h"

#include "tasks/DownloadManager.h"
#include "views/UpdateButtons.h"
#include "views/ViewStyle.h"

#include <BinaryData.h>

FwTabView::FwTabView (DownloadManager* downloadManager)
    : juce::Component ("FwTabView"), manager (downloadManager)
{
    versionLabel = new juce::Label ("new label", "version");
    addAndMakeVisible (versionLabel);
    viewstyle::styleLabel (*versionLabel, juce::Font (12.5f, juce::Font::plain), juce::Justification::topLeft);

    updateFwButton = new UpdateFwButton (manager);
    addAndMakeVisible (updateFwButton);
    updateFwButton->setName ("UpdateFwBtn");

    updateSoundButton = new UpdateSoundButton (manager);
    addAndMakeVisible (updateSoundButton);
    updateSoundButton->setName ("UpdateSoundsBtn");

    restoreButton = new juce::ImageButton ("RestoreBtn");
    addAndMakeVisible (restoreButton);
    restoreButton->setButtonText ("backup");
    restoreButton->addListener (this);
    viewstyle::setButtonImages (
        *restoreButton,
        viewstyle::embeddedImage (BinaryData::restore_system_normal_png, BinaryData::restore_system_normal_pngSize),
        viewstyle::embeddedImage (BinaryData::restore_system_over_png, BinaryData::restore_system_over_pngSize),
        viewstyle::embeddedImage (BinaryData::restore_system_down_png, BinaryData::restore_system_down_pngSize));

    setSize (440, 400);

    // The size never changes again, so resized() does not undo these.
    restoreButton->setVisible (false);
    updateFwButton->setTopLeftPosition (7, 152);
    updateSoundButton->setTopLeftPosition (7, 243);

    updateVersionDisplay();
}

FwTabView::~FwTabView()
{
    delete versionLabel;
    delete updateFwButton;
    delete updateSoundButton;
    delete restoreButton;
}

void FwTabView::resized()
{
    versionLabel->setBounds (7, 80, 416, 30);
    updateFwButton->setBounds (7, 120, 416, 38);
    updateSoundButton->setBounds (7, 207, 416, 38);
    restoreButton->setBounds (7, 294, 416, 38);
}

void FwTabView::buttonClicked (juce::Button* button)
{
    // The firmware button, not the hidden restore button, is re-enabled when the restore ends.
    if (button == restoreButton)
        manager->restoreFirmware (updateFwButton);
}

void FwTabView::updateVersionDisplay()
{
    const juce::String v = manager->firmwareVersion;
    const juce::String d = manager->dreamVersion;

    juce::String status;
    if (manager->isFirmwareUpdateAvailable())
    {
        updateFwButton->setEnabled (true);
        status = ")\nA new version is available.";
    }
    else
    {
        updateFwButton->setEnabled (false);
        status = manager->hasServerFirmwareVersion() ? ")\nYour firmware is up to date" : ")\n";
    }

    const juce::String text = "Your Firmware version is " + v + ".(" + d + status;
    updateSoundButton->setEnabled (manager->isSoundBankUpdateAvailable());
    versionLabel->setText (text, juce::dontSendNotification);
}

void FwTabView::disableAllButtons()
{
    updateFwButton->setEnabled (false);
    updateSoundButton->setEnabled (false);
    restoreButton->setEnabled (false);
}

juce::Component* FwTabView::updateFirmwareButton() const
{
    return updateFwButton;
}
