#include "views/ViewStyle.h"

namespace viewstyle
{
juce::Image embeddedImage (const void* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

void styleLabel (juce::Label& label, const juce::Font& font, juce::Justification justification)
{
    label.setFont (font);
    label.setJustificationType (justification);
    label.setEditable (false, false, false);
    label.setColour (juce::Label::textColourId, juce::Colour (0xffffffff));
    label.setColour (juce::TextEditor::textColourId, juce::Colour (0xff000000));
    label.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
}

void setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over, const juce::Image& down)
{
    const juce::Colour none = juce::Colours::transparentBlack;
    button.setImages (false, true, true,
                      normal, 1.0f, none,
                      over, 1.0f, none,
                      down, 1.0f, none,
                      0.0f);
}
} // namespace viewstyle
