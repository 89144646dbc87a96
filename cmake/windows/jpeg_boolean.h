#pragma once
// Read before JUCE's graphics module wraps jpeglib.h in juce::jpeglibNamespace: on Windows
// jmorecfg.h expects 'boolean' from rpcndr.h, which declares it outside that namespace.
namespace juce { namespace jpeglibNamespace { typedef unsigned char boolean; } }
