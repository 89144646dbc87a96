#pragma once

// The application's vocabulary for files on the instrument: probe, fetch, install beside the
// final path, rename into place and remount /usr. Every step is a line typed into the instrument's
// shell; files travel with the transfer engine. All of it runs on the task thread that owns
// the serial line.

#include "devicefiles/DeviceFile.h"

// True if the file (or directory) exists; with `compare` also sets `identical`.
bool probeOnDevice (DeviceFile& f, bool compare);
// Receives the file into f.localFile.
bool fetchFromDevice (DeviceFile& f);
// Confirmed from the shell's answer: false when /usr could not be remounted.
bool remountUsr (bool writable);
// True if the file is on the instrument afterwards, identical or newly installed.
bool installOnDevice (DeviceFile& f, bool deferMove);
// Renames the checked copy waiting beside the installed file over it; false if the final path
// does not hold the new bytes afterwards.
bool moveIntoPlace (DeviceFile& f);
// Removes a copy that waits beside the installed file and will not be placed.
void discardWaitingCopy (DeviceFile& f);
// Lists `name` in the shell's current directory until it shows up; false when it never does.
bool waitUntilListed (const juce::String& name);

// A file that has not shown up by then never will: a failed mv, a full or read-only /usr.
constexpr int fileAppearanceLimitMs = 10000;
