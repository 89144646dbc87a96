#include "tasks/VersionFiles.h"

#include "devicefiles/DeviceFileOperations.h"
#include "tasks/WebDownload.h"

#include <cstdio>

bool isOlderVersion (const juce::String& a, const juce::String& b)
{
    return a.compare (b) < 0;
}

namespace
{
// A version document is a few hundred bytes; anything near this is not one.
constexpr int largestVersionDocumentBytes = 1 << 20;
}

juce::String fetchServerVersion (const juce::URL& url)
{
    WebDownload download (url, versionDocumentLimits());
    if (! download.open())
        return {};
    juce::MemoryBlock body;
    download.readIntoMemoryBlock (body, largestVersionDocumentBytes + 1);
    if (download.broken() || body.getSize() > (size_t) largestVersionDocumentBytes)
    {
        std::printf ("Version document %s not read: %s\n", url.toString (false).toRawUTF8(), download.problem().toRawUTF8());
        return {};
    }
    const auto document = parseVersionDocument (body.toString());
    return document != nullptr ? readVersionAttribute (*document) : juce::String();
}

InstrumentVersion fetchInstrumentVersion (const juce::String& fileName)
{
    InstrumentVersion result;
    DeviceFile file (fileName);
    result.fetched = fetchFromDevice (file);

    if (const auto root = parseVersionDocument (file.localFile->loadFileAsString()))
    {
        result.parsed = true;
        result.version = readVersionAttribute (*root);
    }
    return result;
}
