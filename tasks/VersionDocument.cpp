#include "tasks/VersionDocument.h"

#include <cstring>

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

// One of XML's five named references or a whole character reference, ';' included.
bool isWholeReference (const juce::String& text, int at)
{
    for (const char* named : { "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" })
        if (text.substring (at).startsWith (named))
            return true;
    if (text[at + 1] != '#')
        return false;
    const bool hex = text[at + 2] == 'x' || text[at + 2] == 'X';
    int end = at + (hex ? 3 : 2);
    const int digitsStart = end;
    while (hex ? juce::CharacterFunctions::getHexDigitValue (text[end]) >= 0 : juce::CharacterFunctions::isDigit (text[end]))
        ++end;
    return end > digitsStart && end - digitsStart <= (hex ? 8 : 12) && text[end] == ';';
}

// Any other '&' sends the parser down paths that step past the end of the text: over the
// character after an unfinished "&#x" (the text's terminating zero when it was cut short
// there), or into parsing an unknown reference's name as if it were markup.
bool hasMalformedReference (const juce::String& text)
{
    for (int at = text.indexOfChar ('&'); at >= 0; at = text.indexOfChar (at + 1, '&'))
        if (! isWholeReference (text, at))
            return true;
    return false;
}

bool parserWouldStall (const juce::String& text)
{
    const int root = rootElementStart (text);
    return text.contains ("<!DOCTYPE") || (root >= 0 && text.indexOf (root, "<?") >= 0);
}

// An overlong encoding of zero (0xC0 0x80) passes as valid UTF-8 and ends the text for JUCE's
// String while its bytes go on: copying or parsing it writes or reads past its end.
bool hasHiddenEnd (const juce::String& text)
{
    return std::strlen (text.toRawUTF8()) != text.getNumBytesAsUTF8();
}

bool parserWouldFail (const juce::String& text)
{
    return hasHiddenEnd (text) || parserWouldStall (text) || hasMalformedReference (text);
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
