#include "application/VuTabButton.h"

#include <BinaryData.h>

VuTabButton::VuTabButton (juce::TabbedButtonBar& owner, int index)
    : juce::TabBarButton ("VuTabButton", owner), tabIndex (index)
{
    auto load = [] (const void* data, int size) { return juce::ImageCache::getFromMemory (data, size); };
    switch (tabIndex)
    {
        case 0:
            normalImage = load (BinaryData::tab_firmware_normal_png, BinaryData::tab_firmware_normal_pngSize);
            selectedImage = load (BinaryData::tab_firmware_selected_png, BinaryData::tab_firmware_selected_pngSize);
            break;
        case 1:
            normalImage = load (BinaryData::tab_presets_normal_png, BinaryData::tab_presets_normal_pngSize);
            selectedImage = load (BinaryData::tab_presets_selected_png, BinaryData::tab_presets_selected_pngSize);
            break;
        case 2:
            normalImage = load (BinaryData::tab_about_normal_png, BinaryData::tab_about_normal_pngSize);
            selectedImage = load (BinaryData::tab_about_selected_png, BinaryData::tab_about_selected_pngSize);
            break;
        default:
            // No artwork: an invisible tab that can still be clicked.
            break;
    }
}

VuTabButton::~VuTabButton() = default;

// The tab bar turns the toggle state on for the current tab; hover and press change nothing.
void VuTabButton::paintButton (juce::Graphics& g, bool, bool)
{
    g.drawImageAt (getToggleState() ? selectedImage : normalImage, 0, 0, false);
}
