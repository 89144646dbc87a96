#pragma once

// File names become words of shell command lines on the instrument ("ls ", "md5sum ", "rm ",
// "mv ", "cd "). They come from archives on the update server and from the user's preset
// folder, so a name must never be able to run anything else or address another file: only
// plain names and relative paths of plain names are let through.

#include <juce_core/juce_core.h>

// Letters, digits and . _ - + , = @ % : in every component; no component is "." or "..",
// starts with "-", or (without `allowSlashes`) contains "/".
bool isShellSafeName (const juce::String& text, bool allowSlashes);

// Logs the refusal and returns true when `text` is not shell-safe.
bool refuseUnsafeName (const juce::String& text, bool allowSlashes);
