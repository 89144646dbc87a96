#pragma once

// Files and a progress recorder shared by the transfer engine's tests.

#include "tasks/DownloadFilesListener.h"

#include <random>
#include <string>
#include <vector>

inline std::string randomBytes (size_t size, unsigned seed)
{
    std::mt19937 generator (seed);
    std::string bytes (size, '\0');
    for (auto& b : bytes)
        b = (char) (generator() & 0xFF);
    return bytes;
}

// Every byte value 0 to 255, in order, `rounds` times.
inline std::string everyByteValue (int rounds)
{
    std::string bytes;
    for (int r = 0; r < rounds; ++r)
        for (int v = 0; v < 256; ++v)
            bytes += (char) v;
    return bytes;
}

void writeWholeFile (const std::string& path, const std::string& bytes);

struct ProgressRecorder : DownloadFilesListener
{
    std::vector<double> steps;
    void taskNameChanged (const juce::String&, juce::Component*) override {}
    void progressChanged (double fraction, juce::Component*) override { steps.push_back (fraction); }
    void taskFinished (int, int, juce::Component*) override {}
    void quitRequested() override {}
};

// The engine's own lines of a captured communication log: the log's header and footer and
// empty lines left out.
std::vector<std::string> engineLogLines (const std::string& log);
