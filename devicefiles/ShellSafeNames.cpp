#include "devicefiles/ShellSafeNames.h"

#include <cstdio>

namespace
{
bool isPlainCharacter (juce::juce_wchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
           || juce::String ("._-+,=@%:").containsChar (c);
}

bool isPlainComponent (const juce::String& component)
{
    if (component == "." || component == ".." || component.startsWithChar ('-'))
        return false;
    for (auto c : component)
        if (! isPlainCharacter (c))
            return false;
    return true;
}
} // namespace

bool isShellSafeName (const juce::String& text, bool allowSlashes)
{
    if (! allowSlashes && text.containsChar ('/'))
        return false;

    juce::StringArray components;
    components.addTokens (text, "/", {});
    for (auto& component : components)
        if (! isPlainComponent (component))
            return false;
    return true;
}

bool refuseUnsafeName (const juce::String& text, bool allowSlashes)
{
    if (isShellSafeName (text, allowSlashes))
        return false;
    std::printf (" - Refused the name %s: the instrument's shell would read more into it than a file name\n",
                 text.toRawUTF8());
    return true;
}

juce::String shellWord (const juce::String& name)
{
    if (isShellSafeName (name, true))
        return name;
    return "'" + name.replace ("'", "'\\''") + "'";
}

juce::String unsendableNameReason (const juce::String& name, const juce::String& addedPrefix)
{
    constexpr size_t longestNameBytes = 255;
    if (name.isEmpty() || name.containsChar ('/'))
        return "it is not a file name";
    for (auto c : name)
        if (c < 0x20 || (c >= 0x7f && c < 0xa0))
            return "its name holds a line break or another control character";
    if (name.startsWithChar ('.') || name.startsWithChar ('-'))
        return "its name must not start with . or -";
    const size_t room = longestNameBytes - addedPrefix.getNumBytesAsUTF8();
    if (name.getNumBytesAsUTF8() > room)
        return "its name is longer than the Vorlen can hold (" + juce::String ((int) room) + " bytes)";
    return {};
}

bool refuseUnsendableName (const juce::String& nameOnInstrument, const juce::String& addedPrefix)
{
    const bool prefixed = addedPrefix.isNotEmpty() && nameOnInstrument.startsWith (addedPrefix);
    const juce::String own = prefixed ? nameOnInstrument.substring (addedPrefix.length()) : nameOnInstrument;
    const juce::String why = unsendableNameReason (own, addedPrefix);
    if (why.isEmpty())
        return false;
    std::printf (" - Refused the name %s: %s\n", nameOnInstrument.toRawUTF8(), why.toRawUTF8());
    return true;
}
