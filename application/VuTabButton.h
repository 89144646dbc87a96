#pragma once

// One tab of the editor's tab bar, drawn from two images chosen by the tab's index.

#include <juce_gui_basics/juce_gui_basics.h>

class VuTabButton : public juce::TabBarButton
{
public:
    VuTabButton (juce::TabbedButtonBar& owner, int tabIndex);
    ~VuTabButton() override;

    void paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown) override;

private:
    int tabIndex = 0;
    juce::Image normalImage;
    juce::Image selectedImage;

    JUCE_DECLARE_NON_COPYABLE (VuTabButton)
};
