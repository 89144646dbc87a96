#pragma once

// The communication log: the process's standard output, redirected into "VorlenLog.txt" in
// the user's application-data directory and rewritten at every start. Every subsystem writes
// to it with printf.

#include <juce_core/juce_core.h>

extern const char* const applicationVersionString;  // "Test"

juce::File communicationLogFile();

// Deletes an older log, sends standard output into a new one and writes the header.
void openCommunicationLog();

// Writes the footer and hands standard output back to the console it came from.
void closeCommunicationLog();

// Closes the log (standard output back on the console), copies it over `copyName` in the same
// directory, then reopens the log in append mode so later lines follow the earlier ones.
void copyCommunicationLog (const juce::String& copyName);
