// vorlen-cli: the jobs of the window from a terminal. The device link is set up as the window
// sets it up (log opened, instrument probed before anything else) and taken down last.

#include "application/Settings.h"
#include "application/UserMessages.h"
#include "cli/AllInstruments.h"
#include "cli/CliArguments.h"
#include "cli/CliCommands.h"
#include "cli/Interrupts.h"
#include "cli/Terminal.h"
#include "cli/RunSummary.h"
#include "device/CommunicationLog.h"
#include "device/InstrumentLink.h"
#include "device/SerialPort.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
const char* const cliVersion = "0.5.0";

juce::StringArray argumentsOf (int argc, char* argv[])
{
    juce::StringArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));
    return arguments;
}

int noInstrument (ConsoleLines& lines)
{
    if (heldSerialPorts > 0)
    {
        lines.line ("warning: The Vorlen's port is held by another program; close that program and try again.");
        return exitstatus::refused;
    }
    lines.line ("warning: No Vorlen. Please connect your Vorlen to the computer (USB) and restart the application.");
    return exitstatus::noInstrument;
}

int runWithInstrument (const CliOptions& options, std::FILE* out, ConsoleLines& lines)
{
    ConsoleMessages messages (lines, options.yes, standardInputIsTerminal());
    setUserMessages (&messages);
    ConsoleReporter reporter (lines);
    int status = exitstatus::failed;
    {
        DownloadManager manager;
        reporter.setManager (&manager);
        manager.createUpdateTask (&reporter);
        CliContext context { options, manager, reporter, messages, lines, out };
        RunSummary summary (manager, options.command);
        status = interruptCount() != 0 ? interruptedExitStatus : runCliCommand (context);
        summary.finish (manager, reporter.quitWasRequested());
    }
    setUserMessages (nullptr);
    return status;
}

int runCli (const CliOptions& options, std::FILE* out)
{
    ConsoleLines lines (standardErrorIsTerminal());
    if (options.port.isNotEmpty())
        setEnvironmentVariable ("VORLEN_SERIAL_PORTS", options.port.toRawUTF8());

    catchInterrupts();
    configureApplicationSettings();
    auto link = std::make_unique<InstrumentLink>();
    const int status = isInstrumentConnected() ? runWithInstrument (options, out, lines) : noInstrument (lines);
    link.reset();
    saveAndDeleteApplicationSettings();
    return status;
}
} // namespace

int main (int argc, char* argv[])
{
    const CliOptions options = parseCliArguments (argumentsOf (argc, argv));
    if (options.error.isNotEmpty())
    {
        std::fprintf (stderr, "vorlen-cli: %s\nTry 'vorlen-cli --help'.\n", options.error.toRawUTF8());
        return exitstatus::usage;
    }
    const juce::File windowLog = defaultCommunicationLogFile();
    if (options.help)
    {
        const juce::File log = cliLogFile (options, windowLog);
        std::printf ("%s", cliUsage (log.getFullPathName(), windowLog.getParentDirectory().getFullPathName()).toRawUTF8());
        return exitstatus::done;
    }
    if (options.version)
    {
        std::printf ("vorlen-cli %s\n", cliVersion);
        return exitstatus::done;
    }
    if (options.allInstruments)
        return runOnAllInstruments (options, argumentsOf (argc, argv));
    setCommunicationLogFile (cliLogFile (options, windowLog));
    std::FILE* out = duplicateStandardOutput();
    const int status = runCli (options, out);
    std::fflush (out);
    return status;
}
