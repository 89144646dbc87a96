// The shell command channel over the fuzz port: a command is typed, the instrument's answer
// arrives (all at once, or its first part and the rest a read later), and runShellCommand
// gives back the output without the echo, the two prompts and the line ends.
//
// Input: flags, a command index, two bytes for the length of the first part, then either the
// answer's bytes as they are or (flag 4) an output that the fuzz target wraps in the echo and
// prompts a well-behaved shell prints.

#include <juce_core/juce_core.h>

#include <cstdio>
#include <unistd.h>

// The channel paces itself with fixed sleeps of 100 to 200 ms, which would allow a few runs a
// second; here each juce::Thread::sleep becomes a call that returns at once (a yield would
// give the core away on a busy machine). What the channel reads does not depend on them: the
// fuzz port decides when the answer's parts arrive.
#define sleep(milliseconds) getCurrentThreadId()
#include "device/ShellChannel.cpp"
#undef sleep

#include "tests/fuzz/FuzzPort.h"

#include <string>

namespace
{
enum Flags : uint8_t
{
    waitFlag = 1,
    okFlag = 2,
    wellFormedFlag = 4,
    staleFlag = 8,
    echoApartFlag = 16,
};

const char* const commands[] = { "cd /usr/ap", "ls main", "md5sum main", "ls", "cd /usr/ap/presets/",
                                 "read_mac_sn", "cd /", "ls /tmp/a.bin" };

struct Outcome
{
    juce::String output;
    bool ok = false;

    bool operator== (const Outcome& other) const { return output == other.output && ok == other.ok; }
};

Outcome run (const juce::String& command, uint8_t flags, const std::string& stale, const std::string& answer,
             size_t firstPart)
{
    currentDeviceDirectory = "/usr/ap";
    fuzzPortServeShell (stale, answer, firstPart);
    Outcome o;
    o.output = runShellCommand (command, (flags & waitFlag) != 0, (flags & okFlag) ? &o.ok : nullptr);
    return o;
}

bool isCleanText (const juce::String& s)
{
    for (auto c : s)
        if (c == 0 || c == '\r' || c == '\n')
            return false;
    return true;
}

// Everything the port could have handed to the channel as text: each read's bytes up to the
// first zero byte (UTF-8, or "?" for each high byte), line ends dropped. Reads take at most 2047 bytes, so cutting the
// answer into such pieces from either of its two arrival points covers every way it was read.
juce::String textOfPieces (const std::string& bytes, size_t from, size_t to)
{
    juce::String text;
    for (size_t at = from; at < to; at += 2047)
        text += shellChunkText (bytes.data() + at, (int) std::min ((size_t) 2047, to - at));
    return text.removeCharacters ("\r\n");
}

void checkArbitrary (const std::string& answer, size_t firstPart, const Outcome& o)
{
    const size_t first = std::min (firstPart, answer.size());
    const juce::String whole = textOfPieces (answer, 0, answer.size());
    const juce::String split = textOfPieces (answer, 0, first) + textOfPieces (answer, first, answer.size());
    fuzzCheck (o.output.isEmpty() || whole.contains (o.output) || split.contains (o.output),
               "the output holds text that never arrived as text");
}

// What a shell that behaves prints: the echo, its line end, the output, the two prompts.
void checkWellFormed (const juce::String& command, uint8_t flags, const std::string& outputBytes)
{
    std::string printed;
    for (unsigned char c : outputBytes)
        printed += (char) ((c & 0x7F) != 0 ? (c & 0x7F) : ' ');
    const juce::String output = juce::String (printed).removeCharacters ("\r\n");
    // The prompts show the directory the command itself may have changed to.
    currentDeviceDirectory = "/usr/ap";
    sendShellCommand (command);
    const juce::String prompts = currentDeviceDirectory + " # " + currentDeviceDirectory + " # ";
    const std::string echo = command.toStdString() + "\r\n";
    const std::string answer = echo + printed + "\r\n" + prompts.toStdString();

    const bool echoApart = (flags & echoApartFlag) != 0;
    const Outcome o = run (command, flags | okFlag, {}, answer, echoApart ? echo.size() : answer.size());
    if (! echoApart)
    {
        fuzzCheck (o.output == output && o.ok, "a well-formed answer did not come back as its output");
        return;
    }
    // The echo on a read of its own: only a waiting command reads on, and finds no echo there.
    if (! (flags & waitFlag))
        fuzzCheck (o.output.isEmpty() && ! o.ok, "an answer read before its output arrived was not empty");
    // Line ends are dropped before the echo is looked for, so an output that runs on into the
    // prompts as the command's own text ("cd " before "/usr/ap # ") reads as a second echo.
    else if (! (output + prompts).startsWith (command))
        fuzzCheck (o.output == output && ! o.ok, "the output after a lone echo was not read whole");
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzEngineOpen();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const uint8_t flags = data[0];
    const juce::String command = commands[data[1] % (sizeof (commands) / sizeof (commands[0]))];
    const size_t firstPart = (size_t) data[2] | ((size_t) data[3] << 8);
    const std::string body (reinterpret_cast<const char*> (data + 4), size - 4);

    if (flags & wellFormedFlag)
    {
        checkWellFormed (command, flags, body);
        return 0;
    }

    const Outcome o = run (command, flags, {}, body, firstPart);
    fuzzCheck (isCleanText (o.output), "the output holds a line end or a NUL");
    checkArbitrary (body, firstPart, o);
    if (flags & staleFlag)
        fuzzCheck (run (command, flags, body, body, firstPart) == o, "bytes waiting before the command changed its answer");
    return 0;
}
