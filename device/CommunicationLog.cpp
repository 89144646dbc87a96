#include "device/CommunicationLog.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#ifndef VORLEN_APPLICATION_VERSION
#define VORLEN_APPLICATION_VERSION "Test"
#endif
const char* const applicationVersionString = VORLEN_APPLICATION_VERSION;

namespace
{
// Empty: the one log of the window, VorlenLog.txt.
juce::File chosenLog;

#ifndef _WIN32
// There is no console device to reopen here: keep a duplicate of the original standard output
// and put it back where the log is closed.
int consoleOutput = -1;
#endif

void returnOutputToConsole()
{
    std::fflush (stdout);
#ifdef _WIN32
    std::freopen ("CON", "w", stdout);
#else
    if (consoleOutput >= 0)
        ::dup2 (consoleOutput, STDOUT_FILENO);
    else
        std::freopen ("/dev/null", "w", stdout);
#endif
}

// The log lives in the user's profile, whose name Windows' narrow freopen could not spell
// unless it is in the ANSI code page.
void reopenOutputAs (const juce::File& log, const char* mode)
{
#ifdef _WIN32
    _wfreopen (log.getFullPathName().toWideCharPointer(), juce::String (mode).toWideCharPointer(), stdout);
#else
    std::freopen (log.getFullPathName().toRawUTF8(), mode, stdout);
#endif
}

// Parallel runs each keep their own log; their copies must not overwrite each other either.
juce::String copyNameBeside (const juce::File& log, const juce::String& copyName)
{
    if (log == defaultCommunicationLogFile())
        return copyName;
    return log.getFileNameWithoutExtension() + "_" + copyName.fromFirstOccurrenceOf ("_", false, false);
}

void keepConsoleOutput()
{
#ifndef _WIN32
    if (consoleOutput < 0)
        consoleOutput = ::fcntl (STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
#endif
}
} // namespace

juce::File defaultCommunicationLogFile()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("VorlenLog.txt");
}

juce::File communicationLogFile()
{
    return chosenLog != juce::File() ? chosenLog : defaultCommunicationLogFile();
}

void setCommunicationLogFile (const juce::File& log)
{
    chosenLog = log;
}

juce::String portLogName (const juce::String& port)
{
    juce::String name = port.startsWith ("/dev/") ? port.substring (5) : port.trimCharactersAtStart ("/");
    name = name.replaceCharacters ("/\\:", "---");
    name = name.retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-");
    return "VorlenLog-" + (name.isNotEmpty() ? name : juce::String ("port")) + ".txt";
}

void openCommunicationLog()
{
    juce::File log = communicationLogFile();

    if (log.exists())
        log.deleteFile();

    // A fresh account may not have the directory yet.
    log.getParentDirectory().createDirectory();

    keepConsoleOutput();
    std::fflush (stdout);
    reopenOutputAs (log, "w");

    std::printf ("****   Start Zmodem logging   ****\n");
    std::printf ("****   Version :%s   ****\n", applicationVersionString);

    const unsigned os = (unsigned) juce::SystemStats::getOperatingSystemType();
    // JUCE 7 marks every Windows version with this bit (older JUCE used 0x4000).
    if ((os & juce::SystemStats::Windows) != 0)
        std::printf ("****   OS : Windows (%x)   ****\n\n", os);
    else
        std::printf ("****   OS : Mac (%x)   ****\n\n", os);
}

void closeCommunicationLog()
{
    std::printf ("\n****   End Zmodem logging   ****\n");
    returnOutputToConsole();
}

void copyCommunicationLog (const juce::String& copyName)
{
    juce::File log = communicationLogFile();

    returnOutputToConsole();
    log.copyFileTo (log.getSiblingFile (copyNameBeside (log, copyName)));
    reopenOutputAs (log, "a");
}
