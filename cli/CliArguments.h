#pragma once

// The command line of vorlen-cli: one command, its directory where it takes one, and the
// options. Parsing never touches the instrument, so a usage error costs nothing.

#include <juce_core/juce_core.h>

enum class CliCommand
{
    none,
    status,
    updateFirmware,
    restoreFirmware,
    updateSounds,
    backup,
    restore
};

struct CliOptions
{
    CliCommand command = CliCommand::none;
    juce::String directory;   // backup and restore
    juce::String port;        // --port: this device instead of every serial port
    juce::String log;         // --log: the communication log's file
    bool allInstruments = false;  // --all-instruments: one run per instrument, side by side
    bool yes = false;
    bool json = false;
    bool help = false;
    bool version = false;
    juce::String error;       // not empty: a usage error, said in these words
};

CliOptions parseCliArguments (const juce::StringArray& arguments);

// The text of --help; it names where the communication log is written (`logDirectory` holds
// the window's log and the logs named after ports).
juce::String cliUsage (const juce::String& logPath, const juce::String& logDirectory);

// The log a run with these options writes, from the directory of the window's log.
juce::File cliLogFile (const CliOptions& options, const juce::File& windowLog);
