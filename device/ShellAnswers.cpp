#include "device/ShellAnswers.h"

#include <string>

juce::String shellChunkText (const char* bytes, int count)
{
    int length = 0;
    while (length < count && bytes[length] != 0)
        ++length;
    if (juce::CharPointer_UTF8::isValidString (bytes, length))
        return juce::String::fromUTF8 (bytes, length);

    // Not UTF-8 (or a character cut at the chunk's end): every high byte becomes "?", so the
    // text cannot equal a name that holds such a character and the name is not taken as found.
    std::string ascii (bytes, (size_t) length);
    for (auto& c : ascii)
        if ((unsigned char) c >= 0x80)
            c = '?';
    return juce::String (ascii.c_str(), ascii.size());
}

ShellAnswer splitShellAnswer (const juce::String& answer, const juce::String& command, const juce::String& prompts)
{
    ShellAnswer result;
    result.promptsFound = answer.endsWith (prompts);
    result.echoFound = answer.startsWith (command);

    const int start = result.echoFound ? command.length() : 0;
    const int end = answer.length() - (result.promptsFound ? prompts.length() : 0);
    if (end > start)
        result.output = answer.substring (start, end);
    return result;
}

juce::String digestInAnswer (const juce::String& md5sumAnswer)
{
    return md5sumAnswer.substring (0, md5DigestLength);
}

namespace
{
juce::String asListedWithoutLocale (const juce::String& name)
{
    std::string bytes (name.toRawUTF8());
    for (auto& c : bytes)
        if ((unsigned char) c >= 0x80)
            c = '?';
    return juce::String (bytes.c_str(), bytes.size());
}
} // namespace

bool listingShowsFile (const juce::String& listing, const juce::String& name)
{
    // ls's complaint about a missing "l" or "ls" starts with that name too.
    return (listing.startsWith (name) || listing.startsWith (asListedWithoutLocale (name))) && ! listing.startsWith ("ls: ");
}

bool listedAs (const juce::String& listed, const juce::String& name)
{
    return listed == name || listed == asListedWithoutLocale (name);
}

int countListedPresets (const juce::String& lsAnswer)
{
    juce::StringArray pieces;
    // A ";" of a name's own would split it in two.
    pieces.addTokens (lsAnswer.removeCharacters (" ;").replace (".mz", ";"), ";", {});
    int count = 0;
    for (auto& piece : pieces)
        if (piece.trim().isNotEmpty())
            ++count;
    return count;
}
