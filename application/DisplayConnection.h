#pragma once

// The application's own look at the X display, beside JUCE's connection: whether there is one
// at all, and a nudge for JUCE's event handling after a box has closed.

#include <juce_gui_basics/juce_gui_basics.h>

// Empty when the display named by DISPLAY answers; otherwise what the user is told, naming
// the display tried. Without a display JUCE has no screen to place the window on.
juce::String missingDisplayMessage();

// Closing a box destroys its X window outside JUCE's X event handler, and Xlib's XSync there
// reads the expose and focus events of the windows below into Xlib's queue. Nothing looks at
// that queue until another byte arrives on JUCE's connection, so without a compositor the box's
// picture stayed on the window until the pointer moved. Changing a private property of every
// top-level window from a second connection makes the X server send JUCE one event, and JUCE's
// handler then takes everything queued. Message thread only.
void redrawWindowsAfterBox();
