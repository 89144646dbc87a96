#include "device/ShellChannel.h"

#include "device/InstrumentCommands.h"
#include "device/SerialPort.h"
#include "device/ShellAnswers.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>

juce::String currentDeviceDirectory;
bool instrumentPresent = false;
juce::String instrumentPortName;
juce::String instrumentSerialNumber;

namespace
{
constexpr int shellReadChunk = 2047;
constexpr int shellDrainChunk = 2048;
constexpr int promptPollMs = 10;

juce::String expectedPrompts()
{
    return currentDeviceDirectory + instrument::promptSuffix + currentDeviceDirectory + instrument::promptSuffix;
}

juce::String readAnswer (const juce::String& command, bool waitForOutput)
{
    juce::String answer;

    for (int reads = 1;; ++reads)
    {
        juce::Thread::sleep (shellReadPauseMs);
        answer = readShellOutput();

        if (answer.containsAnyOf ("\r\n"))
            answer = answer.removeCharacters ("\r\n");

        if (! waitForOutput || answer != command || reads == shellMaxReads)
            return answer;
    }
}

bool acceptIfInstrument()
{
    bool ok = false;
    runShellCommand (instrument::cdDeviceRoot, false, &ok);
    if (! ok)
        return false;

    std::printf ("Good format :\n");
    juce::StringArray lines;
    lines.addLines (runShellCommand (instrument::readSerialNumber, false));

    for (int i = 0; i < lines.size(); ++i)
    {
        if (lines[i].contains (instrument::serialNumberTag))
        {
            std::printf ("   Line %d :%s\n", i, lines[i].toRawUTF8());
            instrumentSerialNumber = lines[i].fromFirstOccurrenceOf (instrument::serialNumberTag, false, false).trim();
            instrumentPresent = true;
            return true;
        }
    }

    return false;
}
} // namespace

void sendShellCommand (const juce::String& command)
{
    if (command.startsWith ("cd") && command.length() > 3)
    {
        currentDeviceDirectory = command.substring (3);
        if (currentDeviceDirectory.endsWith ("/"))
            currentDeviceDirectory = currentDeviceDirectory.trimCharactersAtEnd ("/");
    }

    const juce::String line = command + "\r\n";
    writeSerialPort (line.toRawUTF8(), (int) line.getNumBytesAsUTF8());
    juce::Thread::sleep (shellSendPauseMs);
}

juce::String readShellOutput()
{
    juce::String result;
    char chunk[shellReadChunk];
    // The transfer engine may already have taken the shell's first bytes after a transfer.
    int got = zmodemTakeReadAhead (chunk, shellReadChunk);
    if (got > 0)
        result += shellChunkText (chunk, got);

    do
    {
        got = readSerialPort (chunk, (unsigned) shellReadChunk);
        if (got > 0)
            result += shellChunkText (chunk, got);
    } while (got == shellReadChunk);

    return result;
}

void drainShellInput()
{
    char chunk[shellDrainChunk];
    while (zmodemTakeReadAhead (chunk, shellDrainChunk) > 0)
    {
    }

    while (readSerialPort (chunk, (unsigned) shellDrainChunk) == shellDrainChunk)
    {
    }
}

bool waitForShellPrompt (int limitMs)
{
    const juce::String prompt = currentDeviceDirectory + instrument::promptSuffix;
    juce::String arrived;
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        arrived += readShellOutput();
        if (arrived.endsWith (prompt))
            return true;
        if (juce::Time::getMillisecondCounter() - start > (juce::uint32) limitMs)
            return false;
        juce::Thread::sleep (promptPollMs);
    }
}

juce::String runShellCommand (const juce::String& command, bool waitForOutput, bool* ok)
{
    drainShellInput();
    sendShellCommand (command);
    const juce::String suffix = expectedPrompts();

    if (waitForOutput)
        juce::Thread::sleep (shellSlowCommandPauseMs);

    const juce::String answer = readAnswer (command, waitForOutput);
    const ShellAnswer parts = splitShellAnswer (answer, command, suffix);

    if (ok != nullptr)
    {
        *ok = parts.promptsFound && parts.echoFound;
        if (! parts.promptsFound)
            std::printf ("   suffix error : suffix : %s (command : %s -:- answer : %s)\n",
                         suffix.toRawUTF8(), command.toRawUTF8(), answer.toRawUTF8());
        if (! parts.echoFound)
            std::printf ("   prefix error :prefix : %s (answer : %s)\n", command.toRawUTF8(), answer.toRawUTF8());
    }
    return parts.output;
}

bool probeInstrument()
{
    instrumentPresent = false;
    instrumentPortName = {};
    instrumentSerialNumber = {};
    zmodemSetDefaults();
    listSerialPorts();

    for (std::string name = nextSerialPortName(); ! name.empty(); name = nextSerialPortName())
    {
        std::printf ("Serial Port : %s\n", name.c_str());

        // Each port's attempt stands by itself: an earlier port's failure must not decide it.
        errorClear();

        if (zmodemOpen (name.c_str()) && acceptIfInstrument())
        {
            instrumentPortName = name;
            return true;
        }

        zmodemClose();
    }

    return false;
}

bool isInstrumentConnected()
{
    return instrumentPresent;
}
