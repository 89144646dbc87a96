#pragma once

// The order in which one update changes the instrument, computed before anything is sent:
// which file is sent when, which copy waits beside its final path, and when each waiting copy
// is renamed into place. Kept apart from the line so that the order can be checked on its
// own.
//
// The rules: files are sent in the order they came; once the main firmware archive is part of
// the update, an archive's replaced files wait until every file of that archive is whole on
// the instrument, and are renamed after its last one; the version documents wait for
// everything else and are renamed last, so that an update that ends early at any point still
// claims the old version and is offered, and completed, again; an update that carries the main
// firmware ends by making the instrument application executable.

#include <juce_core/juce_core.h>

#include <vector>

struct PlannedFile
{
    juce::String remotePath;  // relative to /usr/ap/
    int download = 0;         // the URL it came from, in transfer order
    bool fromArchive = false;
};

struct InstallStep
{
    enum Kind
    {
        send,            // install the file; unless `deferMove`, it is renamed into place at once
        place,           // rename the file's waiting copy into place
        makeMainExecutable
    };
    Kind kind;
    int file = -1;           // index into the planned files
    bool deferMove = false;  // for `send`
};

bool isVersionDocument (const juce::String& remotePath);

std::vector<InstallStep> planInstall (const std::vector<PlannedFile>& files, bool mainArchive);
