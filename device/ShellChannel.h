#pragma once

// Command lines typed into the instrument's shell over the serial port, and the start-up probe
// that finds the instrument. The channel is paced by fixed sleeps, not by waiting for data:
// 100 ms after every line sent, 150 ms before every read, 200 ms more for slow commands.

#include <juce_core/juce_core.h>

extern juce::String currentDeviceDirectory;
extern bool instrumentPresent;
// What the probe found: the port it kept and the serial number the instrument gave.
extern juce::String instrumentPortName;
extern juce::String instrumentSerialNumber;

juce::String runShellCommand (const juce::String& command, bool waitForOutput, bool* ok = nullptr);
void sendShellCommand (const juce::String& command);
juce::String readShellOutput();
void drainShellInput();

bool probeInstrument();
bool isInstrumentConnected();

// The pacing of the channel.
constexpr int shellSendPauseMs = 100;
constexpr int shellReadPauseMs = 150;
constexpr int shellSlowCommandPauseMs = 200;
constexpr int shellMaxReads = 15;
constexpr int shellReturnLimitMs = 3000;

// After a transfer the instrument's shell prints one prompt once rz or lsz has exited, and a
// line typed before that is lost to lrzsz's exit-time input flush. Waits, at most `limitMs`,
// until the output ends with the current directory's prompt; false if it never did.
bool waitForShellPrompt (int limitMs = shellReturnLimitMs);

// After a transfer: a good one ends with the shell's prompt; after one that gave up the shell
// is won back (recoverShellPrompt). False when the shell never showed its prompt.
bool returnToShell (bool transferSucceeded);

// Erases whatever reached the shell's line (Ctrl-U, Ctrl-C) and asks for a fresh prompt, a
// few times, sending the transfer abort sequence again before each retry (for an rz or lsz
// still running); true once a prompt came back, in whatever directory.
bool recoverShellPrompt();

// A command whose outcome shows in its answer (mount, mv): reads until both prompts have
// arrived or `limitMs` has passed. True when its echo and the prompts came; `output` (may be
// null) receives what was printed between them.
bool runCommandToPrompt (const juce::String& command, juce::String* output = nullptr, int limitMs = shellReturnLimitMs);
