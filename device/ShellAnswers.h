#pragma once

// Reading what the instrument's shell prints: the text of what arrived on the line, an answer
// without its echo and prompts, and the answers of md5sum and ls. Pure functions of their
// arguments, so that they can be checked apart from the line.

#include <juce_core/juce_core.h>

// The line carries UTF-8 (file names in any language); a NUL ends the text of the chunk it
// arrives in, and a chunk that is not UTF-8 has "?" for each byte of 0x80 or more.
juce::String shellChunkText (const char* bytes, int count);

// An answer as read, its line ends removed: the echo of the command is cut from its start and
// the two prompts from its end, each only where it is found.
struct ShellAnswer
{
    juce::String output;
    bool echoFound = false;
    bool promptsFound = false;
};
ShellAnswer splitShellAnswer (const juce::String& answer, const juce::String& command, const juce::String& prompts);

// md5sum answers "<digest>  <name>": the digest is its first 32 characters.
constexpr int md5DigestLength = 32;
juce::String digestInAnswer (const juce::String& md5sumAnswer);

// "ls name" answers with text starting with the name when the file exists, with ls's error
// message ("ls: ...") when it does not.
bool listingShowsFile (const juce::String& listing, const juce::String& name);

// `ls` may print a byte it takes for unprintable as "?" (busybox without a UTF-8 locale): a
// name in any other language is then listed with one "?" per byte of each such letter.
// True when `listed` is `name` in either spelling.
bool listedAs (const juce::String& listed, const juce::String& name);

// The number of files an "ls" answer (its line ends already removed) lists, counted the way
// the progress is meant: every ".mz" ends one name; whatever follows the last one is one more.
int countListedPresets (const juce::String& lsAnswer);
