#include "cli/CliArguments.h"

#include "device/CommunicationLog.h"

namespace
{
struct CommandName
{
    const char* name;
    CliCommand command;
    bool takesDirectory;
};

const CommandName commandNames[] = {
    { "status", CliCommand::status, false },
    { "update-firmware", CliCommand::updateFirmware, false },
    { "restore-firmware", CliCommand::restoreFirmware, false },
    { "update-sounds", CliCommand::updateSounds, false },
    { "backup", CliCommand::backup, true },
    { "restore", CliCommand::restore, true },
};

const CommandName* findCommand (const juce::String& word)
{
    for (auto& c : commandNames)
        if (word == c.name)
            return &c;
    return nullptr;
}

// "--name VALUE" or "--name=VALUE"; empty when the value is missing.
juce::String optionValue (const juce::StringArray& args, int& i, const juce::String& name)
{
    const juce::String& a = args[i];
    if (a == name)
        return i + 1 < args.size() ? args[++i] : juce::String();
    return a.fromFirstOccurrenceOf ("=", false, false);
}

bool isOption (const juce::String& a, const char* name)
{
    return a == name || a.startsWith (juce::String (name) + "=");
}

// Returns false with `error` set when the option is unknown or lacks its value.
bool takeOption (const juce::StringArray& args, int& i, CliOptions& o)
{
    const juce::String& a = args[i];
    if (a == "--yes" || a == "-y")
        o.yes = true;
    else if (a == "--json")
        o.json = true;
    else if (a == "--help" || a == "-h")
        o.help = true;
    else if (a == "--version")
        o.version = true;
    else if (a == "--all-instruments")
        o.allInstruments = true;
    else if (isOption (a, "--port"))
    {
        o.port = optionValue (args, i, "--port");
        if (o.port.isEmpty())
            o.error = "--port needs a device";
    }
    else if (isOption (a, "--log"))
    {
        o.log = optionValue (args, i, "--log");
        if (o.log.isEmpty())
            o.error = "--log needs a file";
    }
    else
        o.error = "unknown option " + a;
    return o.error.isEmpty();
}

// Each instrument gets its own port and log, and nobody could answer several questions at once.
void checkAllInstruments (CliOptions& o)
{
    const bool asks = o.command == CliCommand::restoreFirmware || o.command == CliCommand::restore;
    if (o.port.isNotEmpty() || o.log.isNotEmpty())
        o.error = "--all-instruments chooses the ports and logs itself: leave out --port and --log";
    else if (o.json)
        o.error = "--all-instruments prints a table, not JSON";
    else if (asks && ! o.yes)
        o.error = "--all-instruments asks no questions: add --yes to " + juce::String (o.command == CliCommand::restore ? "restore" : "restore-firmware");
}

void checkComplete (CliOptions& o, const CommandName* command)
{
    if (o.help || o.version || o.error.isNotEmpty())
        return;
    if (command == nullptr)
        o.error = "no command given";
    else if (command->takesDirectory && o.directory.isEmpty())
        o.error = juce::String (command->name) + " needs a directory";
    else if (o.json && o.command != CliCommand::status)
        o.error = "--json goes with status only";
    else if (o.allInstruments)
        checkAllInstruments (o);
}
} // namespace

CliOptions parseCliArguments (const juce::StringArray& args)
{
    CliOptions o;
    const CommandName* command = nullptr;
    bool directoryTaken = false;

    for (int i = 0; i < args.size() && o.error.isEmpty(); ++i)
    {
        const juce::String& a = args[i];
        if (a.startsWith ("-") && a != "-")
            takeOption (args, i, o);
        else if (command == nullptr)
        {
            command = findCommand (a);
            if (command == nullptr)
                o.error = "unknown command " + a;
            else
                o.command = command->command;
        }
        else if (command->takesDirectory && ! directoryTaken)
        {
            o.directory = a;
            directoryTaken = true;
        }
        else
            o.error = "unexpected argument " + a;
    }

    checkComplete (o, command);
    return o;
}

juce::File cliLogFile (const CliOptions& options, const juce::File& windowLog)
{
    if (options.log.isNotEmpty())
        return juce::File::getCurrentWorkingDirectory().getChildFile (options.log);
    if (options.port.isNotEmpty())
        return windowLog.getSiblingFile (portLogName (options.port));
    return windowLog;
}

juce::String cliUsage (const juce::String& logPath, const juce::String& logDirectory)
{
    return "Usage: vorlen-cli [options] COMMAND\n"
           "\n"
           "Commands:\n"
           "  status [--json]     the port, the instrument's serial number, its firmware and sound bank\n"
           "                      versions, the server's, and whether an update of each is offered\n"
           "  update-firmware     install the newer firmware from the update server\n"
           "  restore-firmware    reinstall the server's firmware whatever the instrument has\n"
           "  update-sounds       install the newer sound bank from the update server\n"
           "  backup DIR          copy the instrument's presets into DIR\n"
           "  restore DIR         copy the presets (*.mz) of DIR onto the instrument\n"
           "\n"
           "Options:\n"
           "  --port DEVICE       use this serial device instead of looking at every port\n"
           "  --all-instruments   run the command on every instrument found, each in its own process,\n"
           "                      side by side: one progress line each, then a table (port, serial\n"
           "                      number, versions before and after, outcome, time); the exit status\n"
           "                      is the worst of theirs\n"
           "  --log FILE          write the communication log to FILE\n"
           "  --yes               answer every question with Yes (without it a question is asked on\n"
           "                      the terminal, and answered No when standard input is not one)\n"
           "  --json              status as a JSON object\n"
           "  --help, --version\n"
           "\n"
           "Ctrl-C cancels as the window's Cancel button does; a file being sent is finished first.\n"
           "\n"
           "Exit status: 0 done or nothing to update, 1 failed or aborted, 2 usage error,\n"
           "3 no instrument, 4 refused (a question answered No, another transfer, the port held by\n"
           "another program), 130 interrupted.\n"
           "\n"
           "The communication log is written to " + logPath + "; a run given --port DEVICE writes\n"
           "its own, " + logDirectory + "/VorlenLog-DEVICE.txt (VorlenLog-ttyACM1.txt for\n"
           "/dev/ttyACM1), so that runs side by side each keep theirs; --log FILE writes FILE.\n";
}
