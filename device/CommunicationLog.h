#pragma once

// The communication log: the process's standard output, redirected into "VorlenLog.txt" in
// the user's application-data directory and rewritten at every start. Every subsystem writes
// to it with printf.

#include <juce_core/juce_core.h>

extern const char* const applicationVersionString;  // "Test"

// The window's log, VorlenLog.txt in the user's application-data directory.
juce::File defaultCommunicationLogFile();
// The log this run writes: the window's, unless another was chosen before it was opened.
juce::File communicationLogFile();
// A run for one given port keeps its own log, so that runs side by side keep every record.
void setCommunicationLogFile (const juce::File& log);
// "/dev/ttyACM1" -> "VorlenLog-ttyACM1.txt"; other paths spelled with "-" for "/".
juce::String portLogName (const juce::String& port);

// Deletes an older log, sends standard output into a new one and writes the header.
void openCommunicationLog();

// Writes the footer and hands standard output back to the console it came from.
void closeCommunicationLog();

// Closes the log (standard output back on the console), copies it over `copyName` in the same
// directory, then reopens the log in append mode so later lines follow the earlier ones.
void copyCommunicationLog (const juce::String& copyName);
