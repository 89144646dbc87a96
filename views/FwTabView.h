#pragma once

// The Firmware tab: the instrument's firmware versions, whether the server has newer ones,
// and the two update buttons. A restore button exists but stays hidden.

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;
class UpdateFwButton;
class UpdateSoundButton;

class FwTabView : public juce::Component, public juce::Button::Listener
{
public:
    explicit FwTabView (DownloadManager* manager);
    ~FwTabView() override;

    void resized() override;
    void buttonClicked (juce::Button* button) override;

    // Asks the manager again (the sound bank check reads the server and the instrument).
    void updateVersionDisplay();
    void disableAllButtons();

    // The source of every firmware transfer started from this tab.
    juce::Component* updateFirmwareButton() const;

private:
    DownloadManager* manager = nullptr;
    juce::Label* versionLabel = nullptr;
    UpdateFwButton* updateFwButton = nullptr;
    UpdateSoundButton* updateSoundButton = nullptr;
    juce::ImageButton* restoreButton = nullptr;

    JUCE_DECLARE_NON_COPYABLE (FwTabView)
};
