#pragma once

// What a run started by --all-instruments tells the run that started it: the instrument's
// serial number and its versions before and after the job, written as JSON to the file named
// by VORLEN_CLI_SUMMARY. Runs started by a person write nothing and read nothing extra.

#include "cli/CliArguments.h"

#include <juce_core/juce_core.h>

class DownloadManager;

constexpr const char* runSummaryVariable = "VORLEN_CLI_SUMMARY";

struct InstrumentVersions
{
    juce::String firmware, dream, soundBank;
    // "1.5/1.5/1.0": firmware, sound engine, sound bank.
    juce::String text() const;
};

class RunSummary
{
public:
    // Reads the versions before the job, when a summary is wanted.
    RunSummary (DownloadManager& manager, const CliCommand command);
    // Reads the versions after the job and writes the summary.
    void finish (DownloadManager& manager, bool poweredOff);

private:
    InstrumentVersions afterJob (DownloadManager& manager, bool poweredOff) const;

    const juce::String path;
    const CliCommand command;
    InstrumentVersions before;
};
