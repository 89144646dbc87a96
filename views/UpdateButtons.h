#pragma once

// The two large image buttons of the Firmware tab. Each starts its transfer through the
// download manager and greys itself out while that transfer runs; the disabled face is chosen
// through the toggle state, which follows the enablement.

#include <juce_gui_basics/juce_gui_basics.h>

class VUButtonListener;

class UpdateFwButton : public juce::Button
{
public:
    explicit UpdateFwButton (VUButtonListener* listener);
    ~UpdateFwButton() override;

    void enablementChanged() override;
    void clicked() override;
    void paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown) override;

private:
    VUButtonListener* buttonListener = nullptr;
    juce::Image normalImage, overImage, downImage, disabledImage;

    JUCE_DECLARE_NON_COPYABLE (UpdateFwButton)
};

class UpdateSoundButton : public juce::Button
{
public:
    explicit UpdateSoundButton (VUButtonListener* listener);
    ~UpdateSoundButton() override;

    void enablementChanged() override;
    void clicked() override;
    void paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown) override;

private:
    VUButtonListener* buttonListener = nullptr;
    juce::Image normalImage, overImage, downImage, disabledImage;

    JUCE_DECLARE_NON_COPYABLE (UpdateSoundButton)
};
