#pragma once

// One file or directory on the instrument, named relative to /usr/ap/ (or /usr/), together
// with the local file it is fetched into or installed from.

#include <juce_core/juce_core.h>

struct DeviceFile
{
    // Fetching: the record owns a temporary local file, deleted with the record.
    explicit DeviceFile (const juce::String& remotePath);
    // Installing: the caller owns the local file.
    DeviceFile (const juce::String& remotePath, juce::File* local);
    ~DeviceFile();

    DeviceFile (const DeviceFile&) = delete;
    DeviceFile& operator= (const DeviceFile&) = delete;

    juce::File ownedTempFile;
    juce::File* localFile = nullptr;
    juce::String remotePath;   // "main", "presets/", "lib/x.so"; a trailing "/" names a directory
    bool usrRelative = false;  // relative to /usr/ instead of /usr/ap/
    juce::String tmpName;      // the new copy waiting in /tmp, if any
    bool identical = false;    // the instrument's copy has the local file's digest
    bool directoryMissing = false;  // the last probe could not enter the file's directory
};

bool isRemoteDirectory (const DeviceFile& f);
// The file's directory below /usr/: "ap/", "ap/d1/d2/", or empty for a /usr/-relative record.
juce::String remoteDirPart (const DeviceFile& f);
// The part after the last "/", empty for a directory.
juce::String remoteNamePart (const DeviceFile& f);

// Set whenever a file has really been sent to the instrument; the firmware task clears it at
// its start and powers the instrument off at its end only if it is set.
extern bool anyFileSent;
