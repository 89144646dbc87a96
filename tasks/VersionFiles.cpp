#include "tasks/VersionFiles.h"

#include "devicefiles/DeviceFileOperations.h"

bool isOlderVersion (const juce::String& a, const juce::String& b)
{
    return a.compare (b) < 0;
}

juce::String readVersionAttribute (const juce::XmlElement& root)
{
    const auto* first = root.getFirstChildElement();
    while (first != nullptr && first->isTextElement())
        first = first->getNextElement();
    return first != nullptr ? first->getStringAttribute ("version") : juce::String();
}

juce::String fetchServerVersion (const juce::URL& url)
{
    const auto document = url.readEntireXmlStream (false);
    return document != nullptr ? readVersionAttribute (*document) : juce::String();
}

InstrumentVersion fetchInstrumentVersion (const juce::String& fileName)
{
    InstrumentVersion result;
    DeviceFile file (fileName);
    result.fetched = fetchFromDevice (file);

    if (const auto root = juce::XmlDocument::parse (*file.localFile))
    {
        result.parsed = true;
        result.version = readVersionAttribute (*root);
    }
    return result;
}
