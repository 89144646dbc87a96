#include "device/ShellChannel.h"

#include "device/InstrumentCommands.h"
#include "device/SerialPort.h"
#include "device/ShellAnswers.h"
#include "zmodem/ZmodemFraming.h"
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
constexpr int recoveryAttempts = 3;
constexpr int afterAbortPauseMs = 300;
constexpr int recoveryPromptLimitMs = 1500;
// Ctrl-U erases the shell's pending line and Ctrl-C drops a command left open (an unclosed
// quote typed by stray bytes); the CR then asks for a prompt of its own.
const char eraseLineAndReturn[] = "\x15\x03\r";

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

bool returnToShell (bool transferSucceeded)
{
    return transferSucceeded ? waitForShellPrompt() : recoverShellPrompt();
}

namespace
{
// The shell may be in another directory than the one believed: a cd it never received.
bool waitForAnyPrompt (int limitMs)
{
    juce::String arrived;
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        arrived += readShellOutput();
        if (arrived.endsWith (instrument::promptSuffix))
            return true;
        if (serialPortLost || juce::Time::getMillisecondCounter() - start > (juce::uint32) limitMs)
            return false;
        juce::Thread::sleep (promptPollMs);
    }
}
} // namespace

bool recoverShellPrompt()
{
    for (int attempt = 0; attempt < recoveryAttempts && ! serialPortLost; ++attempt)
    {
        if (attempt > 0)
            zmodemSendAbort();
        juce::Thread::sleep (afterAbortPauseMs);
        drainShellInput();
        writeSerialPort (eraseLineAndReturn, (int) sizeof (eraseLineAndReturn) - 1);
        if (waitForAnyPrompt (recoveryPromptLimitMs))
            return true;
    }
    std::printf ("the shell did not show its prompt again\n");
    return false;
}

bool runCommandToPrompt (const juce::String& command, juce::String* output, int limitMs)
{
    drainShellInput();
    sendShellCommand (command);
    const juce::String prompts = expectedPrompts();
    juce::String answer;
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        answer += readShellOutput().removeCharacters ("\r\n");
        if (answer.endsWith (prompts) || juce::Time::getMillisecondCounter() - start > (juce::uint32) limitMs)
            break;
        juce::Thread::sleep (promptPollMs);
    }
    // The prompts of a command sent just before may arrive ahead of this one's echo.
    const int echo = answer.indexOf (command);
    const ShellAnswer parts = splitShellAnswer (echo >= 0 ? answer.substring (echo) : answer, command, prompts);
    if (output != nullptr)
        *output = parts.output;
    const bool ok = parts.echoFound && parts.promptsFound;
    if (! ok || parts.output.isNotEmpty())
        std::printf ("   %s : answered : %s\n", command.toRawUTF8(), answer.toRawUTF8());
    return ok;
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

namespace
{
// An application ended during a transfer leaves the instrument's rz or lsz running, deaf to
// commands; one ended in the middle of a line leaves half a command typed. Both are cleared
// before the port is asked again.
void winBackShell()
{
    zmodemSendAbort();
    juce::Thread::sleep (afterAbortPauseMs);
    writeSerialPort (eraseLineAndReturn, (int) sizeof (eraseLineAndReturn) - 1);
    juce::Thread::sleep (afterAbortPauseMs);
}

bool probePorts (bool winBackFirst)
{
    listSerialPorts();
    for (std::string name = nextSerialPortName(); ! name.empty(); name = nextSerialPortName())
    {
        std::printf ("Serial Port : %s\n", name.c_str());

        // Each port's attempt stands by itself: an earlier port's failure must not decide it.
        errorClear();

        if (zmodemOpen (name.c_str()))
        {
            if (winBackFirst)
                winBackShell();
            if (acceptIfInstrument())
            {
                instrumentPortName = name;
                return true;
            }
        }

        zmodemClose();
    }
    return false;
}
} // namespace

bool probeInstrument()
{
    instrumentPresent = false;
    instrumentPortName = {};
    instrumentSerialNumber = {};
    zmodemSetDefaults();

    // The quick pass finds an instrument at rest; only when none answers are the ports asked
    // again, each after the shell has been won back.
    if (probePorts (false))
        return true;
    std::printf ("No instrument answered; asking every port again after the transfer abort sequence\n");
    return probePorts (true);
}

bool isInstrumentConnected()
{
    return instrumentPresent;
}
