#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Where a window of the given bounds must go so that it lies inside the display's user area:
// moved up and/or left as little as needed, never resized. A window larger than the area keeps
// its top-left corner on the area, so that the title bar can still be reached.
juce::Rectangle<int> keptInsideArea (juce::Rectangle<int> window, juce::Rectangle<int> userArea);

// Moves the window, if needed, onto the user area of the display that holds most of it.
void keepOnItsDisplay (juce::Component& window);
