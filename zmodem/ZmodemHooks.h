#pragma once

// The transfer engine as the rest of the application calls it: the entry points, the
// process-wide values through which a task steers a transfer, and the file, progress and
// log services a transfer uses.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <juce_core/juce_core.h>
#include <string>
#include <vector>

class DownloadFilesListener;

extern int32_t zmodemFileTime;
extern int zmodemExpectedFiles;
// When not empty, the name the next send announces instead of the file's own name.
extern std::string zmodemSendName;
// Also read by the window on the message thread, to refuse closing during a transfer.
extern std::atomic<bool> reportTransferProgress;
extern DownloadFilesListener* currentProgressListener;

// The rule a received name must pass before it becomes a file in the target directory: the
// reason it cannot be stored, or nullptr. Windows' rule on Windows, none elsewhere.
extern const char* (*receivedNameRule) (const char* name);

// The names the current receive refused, with the rule's reason, so that the caller can tell
// the user what is missing. Emptied when an entry point starts.
struct RefusedName
{
    std::string name;
    const char* reason;
};
extern std::vector<RefusedName> zmodemRefusedNames;

bool zmodemSendFile (const char* path);
bool zmodemReceive (const char* destFile, const char* destDir);
bool zmodemReceiveTo (juce::String path, bool isDirectory);

void reportProgress (double fraction);

// File hooks; each failure sets the sticky error.
void openForSend();
void readBlock();
void seekTo (uint32_t offset);
void closeSendFile();
void openForReceive();
void writeBlock (const char* data, size_t count);
void closeReceiveFile();

// The open that just failed was the rule refusing the received name: the receiver skips that
// file and goes on with the next.
bool receivedNameWasRefused();

// Keeps only the last component of a name that came over the line; false when nothing
// usable is left (empty, "." or ".."), so that a name is never a path.
bool makeBareFileName (char* name);

// The protocol exchanges behind the entry points.
void runSendExchange();
void runReceiveExchange();
