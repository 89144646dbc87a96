#pragma once

#include <juce_core/juce_core.h>

// What the no-instrument box says: the fixed sentence, and a second paragraph when a serial
// device was there but this user may not open it.
juce::String noInstrumentText();
