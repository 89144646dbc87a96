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
