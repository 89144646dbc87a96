#pragma once

// The jobs of the window's buttons, run from the command line on the same DownloadManager.
// Each returns the program's exit status.

#include "cli/CliArguments.h"
#include "cli/ConsoleMessages.h"
#include "cli/ConsoleReporter.h"

#include <cstdio>

namespace exitstatus
{
constexpr int done = 0;
constexpr int failed = 1;
constexpr int usage = 2;
constexpr int noInstrument = 3;
constexpr int refused = 4;
} // namespace exitstatus

class DownloadManager;

struct CliContext
{
    const CliOptions& options;
    DownloadManager& manager;
    ConsoleReporter& reporter;
    ConsoleMessages& messages;
    ConsoleLines& lines;
    std::FILE* out;   // the console's standard output (the process's own goes into the log)
    int cancelWarnings = 0;   // "This action cannot be canceled." and the like: not a failure
};

int runCliCommand (CliContext& context);

// The status report as JSON, for `status --json`.
juce::String statusJson (DownloadManager& manager, bool firmwareOffered, bool soundOffered);
