// Where the main window goes once it has the editor's size.

#include "application/WindowPlacement.h"

#include <gtest/gtest.h>

TEST (WindowPlacement, MovesOnlyAsFarAsTheAreaRequiresAndNeverResizes)
{
    using R = juce::Rectangle<int>;
    const R screen (0, 0, 1366, 768);

    EXPECT_EQ (keptInsideArea ({ 483, 284, 544, 512 }, screen), R (483, 256, 544, 512)) << "bottom crossed";
    EXPECT_EQ (keptInsideArea ({ 1000, 100, 544, 512 }, screen), R (822, 100, 544, 512)) << "right crossed";
    EXPECT_EQ (keptInsideArea ({ 10, 20, 544, 512 }, screen), R (10, 20, 544, 512)) << "inside: unchanged";

    // A panel at the top of a second display to the right: its user area starts lower.
    const R area (1366, 30, 1280, 690);
    EXPECT_EQ (keptInsideArea ({ 2000, 250, 544, 512 }, area), R (2000, 208, 544, 512));

    // Too tall for the area: the title bar stays reachable at the area's top.
    EXPECT_EQ (keptInsideArea ({ 100, 100, 544, 900 }, screen), R (100, 0, 544, 900));
}
