#include "device/ShellAnswers.h"

juce::String shellChunkText (const char* bytes, int count)
{
    int length = 0;
    while (length < count && (unsigned char) bytes[length] < 0x80 && bytes[length] != 0)
        ++length;
    return juce::String (bytes, (size_t) length);
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

bool listingShowsFile (const juce::String& listing, const juce::String& name)
{
    // ls's complaint about a missing "l" or "ls" starts with that name too.
    return listing.startsWith (name) && ! listing.startsWith ("ls: ");
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
