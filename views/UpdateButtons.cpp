#include "views/UpdateButtons.h"

#include "tasks/DownloadManager.h"

#include <BinaryData.h>

namespace
{
constexpr int faceWidth = 416;
constexpr int faceHeight = 38;

juce::Image embedded (const void* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

// While disabled the toggle state is on, and that face wins over pressed and mouse-over.
void paintFace (juce::Button& button, juce::Graphics& g, bool isMouseOverButton, bool isButtonDown,
                const juce::Image& normal, const juce::Image& over, const juce::Image& down, const juce::Image& disabled)
{
    const juce::Image& face = button.getToggleState() ? disabled
                              : isButtonDown          ? down
                              : isMouseOverButton     ? over
                                                      : normal;
    g.setColour (juce::Colours::black);
    g.drawImage (face, 0, 0, faceWidth, faceHeight, 0, 0, face.getWidth(), face.getHeight(), false);
}
} // namespace

UpdateFwButton::UpdateFwButton (VUButtonListener* listener)
    : juce::Button ("UpdateFwButton"), buttonListener (listener)
{
    normalImage = embedded (BinaryData::update_firmware_normal_png, BinaryData::update_firmware_normal_pngSize);
    overImage = embedded (BinaryData::update_firmware_over_png, BinaryData::update_firmware_over_pngSize);
    downImage = embedded (BinaryData::update_firmware_down_png, BinaryData::update_firmware_down_pngSize);
    disabledImage = embedded (BinaryData::update_firmware_disabled_png, BinaryData::update_firmware_disabled_pngSize);
    setSize (faceWidth, faceHeight);
}

UpdateFwButton::~UpdateFwButton() = default;

// Replaces JUCE's own reaction: the face shows the enablement through the toggle state.
void UpdateFwButton::enablementChanged()
{
    setToggleState (! isEnabled(), juce::dontSendNotification);
}

void UpdateFwButton::clicked()
{
    if (buttonListener != nullptr && buttonListener->startFirmwareUpdate (this))
        setEnabled (false);
}

void UpdateFwButton::paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown)
{
    paintFace (*this, g, isMouseOverButton, isButtonDown, normalImage, overImage, downImage, disabledImage);
}

UpdateSoundButton::UpdateSoundButton (VUButtonListener* listener)
    : juce::Button ("UpdateSoundButton"), buttonListener (listener)
{
    normalImage = embedded (BinaryData::update_sounds_normal_png, BinaryData::update_sounds_normal_pngSize);
    overImage = embedded (BinaryData::update_sounds_over_png, BinaryData::update_sounds_over_pngSize);
    downImage = embedded (BinaryData::update_sounds_down_png, BinaryData::update_sounds_down_pngSize);
    disabledImage = embedded (BinaryData::update_sounds_disabled_png, BinaryData::update_sounds_disabled_pngSize);
    setSize (faceWidth, faceHeight);
}

UpdateSoundButton::~UpdateSoundButton() = default;

void UpdateSoundButton::enablementChanged()
{
    setToggleState (! isEnabled(), juce::dontSendNotification);
}

void UpdateSoundButton::clicked()
{
    if (buttonListener != nullptr && buttonListener->startSoundBankUpdate (this))
        setEnabled (false);
}

void UpdateSoundButton::paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown)
{
    paintFace (*this, g, isMouseOverButton, isButtonDown, normalImage, overImage, downImage, disabledImage);
}
