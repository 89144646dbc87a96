#pragma once

// What the tab views share: white label text on a transparent background, and image buttons
// whose faces are stretched to the button.

#include <juce_gui_basics/juce_gui_basics.h>

namespace viewstyle
{
juce::Image embeddedImage (const void* data, int size);

void styleLabel (juce::Label& label, const juce::Font& font, juce::Justification justification);

// No resizing to the image, rescaled with the button keeping proportions, full opacity,
// no overlay, every pixel clickable. A null image is simply not drawn.
void setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over, const juce::Image& down);
} // namespace viewstyle
