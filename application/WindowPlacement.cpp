#include "application/WindowPlacement.h"

#include <algorithm>

juce::Rectangle<int> keptInsideArea (juce::Rectangle<int> window, juce::Rectangle<int> userArea)
{
    const int x = std::max (userArea.getX(), std::min (window.getX(), userArea.getRight() - window.getWidth()));
    const int y = std::max (userArea.getY(), std::min (window.getY(), userArea.getBottom() - window.getHeight()));
    return window.withPosition (x, y);
}

void keepOnItsDisplay (juce::Component& window)
{
    const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (window.getScreenBounds());
    if (display == nullptr)
        return;

    const auto bounds = window.getScreenBounds();
    const auto kept = keptInsideArea (bounds, display->userArea);
    if (kept != bounds)
        window.setTopLeftPosition (kept.getPosition());
}
