// Runs the transfer engine on a serial device from the command line:
//   zmodem_tool send DEVICE FILE
//   zmodem_tool receive DEVICE DIR [COMMAND]
//   zmodem_tool receive-to DEVICE FILE [COMMAND]
// COMMAND is typed into the instrument's shell first (for example "lsz /usr/ap/a.mz"), on
// the same open port, as the application does. The exit status is 0 exactly when the entry
// point succeeded; the pending error's text goes to standard error. The engine's log lines
// go to standard output.

#include "device/SerialPort.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace
{
int usage()
{
    std::fprintf (stderr, "usage: zmodem_tool send DEVICE FILE | receive DEVICE DIR [COMMAND]"
                          " | receive-to DEVICE FILE [COMMAND]\n");
    return 2;
}

void typeCommand (const char* command)
{
    const std::string line = std::string (command) + "\r\n";
    writeSerialPort (line.data(), (int) line.size());
    ::usleep (100 * 1000);
}

bool run (const std::string& verb, const char* target, const char* command)
{
    if (command != nullptr)
        typeCommand (command);
    if (errorPending())
        return false;
    if (verb == "send")
        return zmodemSendFile (target);
    return zmodemReceiveTo (juce::String::fromUTF8 (target), verb == "receive");
}

// The engine takes UTF-8 paths; Windows hands main its arguments in the ANSI code page, which
// cannot spell most names, so there they are taken from the wide command line.
std::vector<std::string> utf8Arguments (int argc, char** argv)
{
    std::vector<std::string> arguments (argv, argv + argc);
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW (GetCommandLineW(), &count))
    {
        arguments.clear();
        for (int i = 0; i < count; ++i)
            arguments.push_back (juce::String (juce::CharPointer_UTF16 ((const juce::CharPointer_UTF16::CharType*) wide[i])).toStdString());
        LocalFree (wide);
    }
#endif
    return arguments;
}
} // namespace

int main (int rawCount, char** rawArguments)
{
    const std::vector<std::string> arguments = utf8Arguments (rawCount, rawArguments);
    std::vector<char*> pointers;
    for (auto& argument : arguments)
        pointers.push_back (const_cast<char*> (argument.c_str()));
    const int argc = (int) pointers.size();
    char** argv = pointers.data();

    if (argc < 4 || argc > 5)
        return usage();
    const std::string verb = argv[1];
    if (verb != "send" && verb != "receive" && verb != "receive-to")
        return usage();
    if (verb == "send" && argc != 4)
        return usage();

    zmodemSetDefaults();
    bool ok = zmodemOpen (argv[2]) && run (verb, argv[3], argc == 5 ? argv[4] : nullptr);
    if (! ok)
        std::fprintf (stderr, "%s", zmodemState.errorText);
    std::fflush (stdout);
    zmodemClose();
    return ok ? 0 : 1;
}
