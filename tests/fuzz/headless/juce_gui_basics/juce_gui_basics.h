#pragma once

// Stands in for JUCE's GUI module header in the fuzz build, which has no GUI: the engine's
// hooks reach it only through the task listener's interface, where a component appears as
// a pointer and nothing more. Anything in the engine that needed more of the GUI would fail
// to compile here.

#include <juce_core/juce_core.h>

namespace juce
{
class Component;
}
