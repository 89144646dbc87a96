#pragma once

// File names become words of shell command lines on the instrument ("ls ", "md5sum ", "rm ",
// "mv ", "cd "). They come from archives on the update server and from the user's preset
// folder, so a name must never be able to run anything else or address another file.
// Directories (typed after "cd", whose line the channel reads back as the prompt) and archive
// entries stay plain; a file's own name may be anything a file system holds on one line, and
// is typed quoted.

#include <juce_core/juce_core.h>

// Letters, digits and . _ - + , = @ % : in every component; no component is "." or "..",
// starts with "-", or (without `allowSlashes`) contains "/".
bool isShellSafeName (const juce::String& text, bool allowSlashes);

// Logs the refusal and returns true when `text` is not shell-safe.
bool refuseUnsafeName (const juce::String& text, bool allowSlashes);

// A file name as one word of an instrument command line, taken literally by its shell: plain
// names as they are, others in single quotes (a quote of the name's own closed, escaped and
// reopened). Spaces, quotes, $, backquotes, ; and letters of any language then stay the name's.
juce::String shellWord (const juce::String& name);

// Why a file name cannot go to the instrument even quoted, or empty when it can: the command
// line ends at a line break and the terminal acts on control characters; a name starting with
// "." is hidden there (or leaves the directory), one starting with "-" is read as an option, and
// the instrument's file system holds at most 255 bytes in a name, `addedPrefix` (what the update
// puts before a copy waiting beside its place) included.
juce::String unsendableNameReason (const juce::String& name, const juce::String& addedPrefix = {});

// Logs the refusal and returns true when `nameOnInstrument` cannot be sent; a name that starts
// with `addedPrefix` is judged without it.
bool refuseUnsendableName (const juce::String& nameOnInstrument, const juce::String& addedPrefix = {});
