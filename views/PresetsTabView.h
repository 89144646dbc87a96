#pragma once

// The Presets tab: the directory for backups and restores (remembered in the settings) and
// the two buttons that start the preset tasks.

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;

class PresetsTabView : public juce::Component, public juce::Button::Listener
{
public:
    explicit PresetsTabView (DownloadManager* manager);
    ~PresetsTabView() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void buttonClicked (juce::Button* button) override;

private:
    void chooseDirectory();
    void backup();
    void restore();

    DownloadManager* manager = nullptr;
    juce::String presetsDirectory;
    juce::ImageButton* browseButton = nullptr;
    juce::Label* directoryLabel = nullptr;
    juce::ImageButton* backupButton = nullptr;
    juce::ImageButton* restoreButton = nullptr;
    juce::Image fieldImage;

    JUCE_DECLARE_NON_COPYABLE (PresetsTabView)
};
