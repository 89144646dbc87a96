#include "cli/CliArguments.h"

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
    else if (a == "--port" || a.startsWith ("--port="))
    {
        o.port = a == "--port" ? (i + 1 < args.size() ? args[++i] : juce::String()) : a.fromFirstOccurrenceOf ("=", false, false);
        if (o.port.isEmpty())
            o.error = "--port needs a device";
    }
    else
        o.error = "unknown option " + a;
    return o.error.isEmpty();
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

juce::String cliUsage (const juce::String& logPath)
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
           "The communication log is written to " + logPath + "\n";
}
