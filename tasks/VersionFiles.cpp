#include "tasks/VersionFiles.h"

#include "devicefiles/DeviceFileOperations.h"

bool isOlderVersion (const juce::String& a, const juce::String& b)
{
    return a.compare (b) < 0;
}

juce::String fetchServerVersion (const juce::URL& url)
{
    const auto document = parseVersionDocument (url.readEntireTextStream (false));
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
