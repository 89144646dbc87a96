#pragma once

// Sends one local file into the instrument shell's current directory and proves the copy is
// intact by comparing the instrument's md5sum with the local digest. On a lasting mismatch
// the communication log is saved as "Vorlen_ChecksumError.txt" and the user is told.

#include <juce_core/juce_core.h>

// 32 lower-case hex digits; all zeros for a file that cannot be read.
juce::String localDigest (const juce::File& file);

// `nameOnInstrument`, when given, is the name the copy gets there instead of the file's own.
bool verifiedSendFile (juce::File& file, const juce::String& nameOnInstrument = {});

// How often a wrong md5sum answer is asked again before the copy is given up as bad.
constexpr int checksumRetries = 10;
