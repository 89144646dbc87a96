#pragma once

// A firmware archive from the update server, checked whole before any of it reaches the
// instrument. Every entry must unpack to exactly the size and CRC-32 that the archive's
// directory records; links, special files, duplicated paths, paths the instrument's shell
// could misread and entries beyond the size bounds refuse the whole archive.

#include <juce_core/juce_core.h>

#include <vector>

constexpr juce::int64 largestArchiveEntryBytes = (juce::int64) 256 << 20;
constexpr juce::int64 largestArchiveBytes = (juce::int64) 1 << 30;  // all entries unpacked

struct UnpackedEntry
{
    juce::String path;  // the entry's path in the archive, relative to /usr/ap/
    juce::File local;   // the unpacked bytes
};

struct UnpackedArchive
{
    std::vector<UnpackedEntry> files;  // in archive order; directory entries left out
    juce::String refusal;              // why the archive was refused; empty when it was not
    bool refused() const { return refusal.isNotEmpty(); }
};

// Unpacks every file entry of `archive` into a directory of its own below `into` (so that
// equal names in different folders never meet), keeping the entry's file name. Stops at the
// first problem; what was unpacked until then stays below `into` for the caller to remove.
UnpackedArchive unpackFirmwareArchive (const juce::File& archive, const juce::File& into);
