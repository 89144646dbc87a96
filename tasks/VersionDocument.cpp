#include "tasks/VersionDocument.h"

namespace
{
// The first '<' that opens neither a declaration nor a comment: the root element at the
// latest (earlier inside a comment, which only makes the check below stricter).
int rootElementStart (const juce::String& text)
{
    for (int at = text.indexOfChar ('<'); at >= 0; at = text.indexOfChar (at + 1, '<'))
        if (text[at + 1] != '?' && text[at + 1] != '!')
            return at;
    return -1;
}

// The parser steps over the character after "&#x" and its hex digits, even when that is the
// text's terminating zero.
bool hasUnfinishedHexReference (const juce::String& text)
{
    for (int at = text.indexOfIgnoreCase ("&#x"); at >= 0; at = text.indexOfIgnoreCase (at + 1, "&#x"))
    {
        int end = at + 3;
        while (juce::CharacterFunctions::getHexDigitValue (text[end]) >= 0)
            ++end;
        if (text[end] != ';')
            return true;
    }
    return false;
}

bool parserWouldStall (const juce::String& text)
{
    const int root = rootElementStart (text);
    return text.contains ("<!DOCTYPE") || (root >= 0 && text.indexOf (root, "<?") >= 0);
}

bool parserWouldFail (const juce::String& text)
{
    return parserWouldStall (text) || hasUnfinishedHexReference (text);
}
} // namespace

std::unique_ptr<juce::XmlElement> parseVersionDocument (const juce::String& documentText)
{
    if (parserWouldFail (documentText))
        return {};
    return juce::parseXML (documentText);
}

juce::String readVersionAttribute (const juce::XmlElement& root)
{
    const auto* first = root.getFirstChildElement();
    while (first != nullptr && first->isTextElement())
        first = first->getNextElement();
    return first != nullptr ? first->getStringAttribute ("version") : juce::String();
}
