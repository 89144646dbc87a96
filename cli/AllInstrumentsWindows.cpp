#include "cli/AllInstruments.h"

#include "cli/CliCommands.h"

#include <cstdio>

// The runs side by side are started with fork and watched with poll; Windows has neither.
int runOnAllInstruments (const CliOptions&, const juce::StringArray&)
{
    std::fprintf (stderr, "vorlen-cli: --all-instruments is not available on Windows; run one vorlen-cli --port COMn per instrument\n");
    return exitstatus::usage;
}
