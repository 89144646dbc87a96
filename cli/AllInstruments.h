#pragma once

// --all-instruments: the command runs once per serial port, each run in its own process with
// its own port and log, all side by side. One progress line per instrument while they run, a
// table at the end, and the worst exit status of theirs. Ctrl-C is passed on to every run.

#include "cli/CliArguments.h"

// `arguments` are the program's own, without the program name.
int runOnAllInstruments (const CliOptions& options, const juce::StringArray& arguments);

// Of two exit statuses, the one that says more is wrong (interrupted, failed, refused, done).
int worseExitStatus (int a, int b);
