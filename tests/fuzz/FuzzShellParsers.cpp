// The readers of the instrument's answers once the channel has cut them: the digest in an
// md5sum answer, whether an "ls name" answer shows the file, and the number of presets an
// "ls" answer lists.
//
// First byte: which reader (and, for "ls name", whether the file is there and which ls
// printed the answer); second byte: a length. Modes 1 to 3 build what the instrument prints
// from names and digests taken from the rest; mode 0 hands the rest to every reader as it is.

#include "device/ShellAnswers.h"
#include "devicefiles/ShellSafeNames.h"
#include "tests/fuzz/FuzzPort.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
struct Input
{
    const uint8_t* data;
    size_t size;

    uint8_t take() { return size > 0 ? (--size, *data++) : 0; }
    std::string takeText (size_t count)
    {
        std::string s (reinterpret_cast<const char*> (data), std::min (count, size));
        data += s.size();
        size -= s.size();
        return s;
    }
};

// What a chunk of the line can hold once it is text: ASCII, no NUL, no line ends.
juce::String answerText (const std::string& bytes)
{
    return shellChunkText (bytes.data(), (int) bytes.size()).removeCharacters ("\r\n");
}

// The bytes as letters of `alphabet`: those in it stay as they are, so seeds can be plain text.
juce::String nameFrom (const std::string& bytes, const char* alphabet)
{
    const int letters = (int) std::strlen (alphabet);
    juce::String name;
    for (unsigned char c : bytes)
    {
        const char* own = c != 0 ? std::strchr (alphabet, c) : nullptr;
        name += juce::String::charToString ((juce::juce_wchar) (own != nullptr ? c : alphabet[c % letters]));
    }
    return name;
}

const char* const shellSafeLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-+,=@%:";

int occurrences (const juce::String& text, const juce::String& part)
{
    int count = 0;
    for (int at = text.indexOf (part); at >= 0; at = text.indexOf (at + part.length(), part))
        ++count;
    return count;
}

// How ls without a UTF-8 locale prints a name: "?" for each byte of a letter beyond ASCII.
juce::String withoutLocale (const juce::String& name)
{
    std::string bytes (name.toRawUTF8());
    for (auto& c : bytes)
        if ((unsigned char) c >= 0x80)
            c = '?';
    return juce::String (bytes.c_str());
}

// ls pads its columns with any number of spaces, so spaces never change the count.
void checkAnyAnswer (Input in)
{
    const juce::String name = answerText (in.takeText (in.take() % 64));
    const juce::String answer = answerText (in.takeText (in.size));

    const juce::String digest = digestInAnswer (answer);
    fuzzCheck (digest.length() == std::min (answer.length(), md5DigestLength) && answer.startsWith (digest),
               "the digest is not the answer's beginning");
    fuzzCheck (! listingShowsFile (answer, name) || answer.startsWith (name) || answer.startsWith (withoutLocale (name)),
               "a listing shows a name it does not start with");

    const int count = countListedPresets (answer);
    const juce::String packed = answer.removeCharacters (" ;");
    fuzzCheck (count >= 0 && count <= occurrences (packed, ".mz") + 1 && count <= packed.length(),
               "more presets counted than the answer can name");
    // Between characters, not bytes: a space inside a UTF-8 sequence would make other text.
    juce::String spaced;
    for (auto c : answer)
        spaced += juce::String::charToString (c) + (spaced.length() % 3 == 0 ? "  " : ";");
    fuzzCheck (countListedPresets (spaced) == count, "spaces or semicolons changed the preset count");
}

// "ls name" on the instrument: the name when the file is there, else ls's complaint (busybox's
// or coreutils' wording).
void checkListing (Input in, uint8_t mode)
{
    const juce::String name = nameFrom (in.takeText (in.take() % 41), shellSafeLetters);
    if (name.isEmpty() || ! isShellSafeName (name, false))
        return;
    const bool present = (mode & 0x10) != 0;
    const juce::String listing = present ? name
                                 : (mode & 0x20) ? "ls: cannot access '" + name + "': No such file or directory"
                                                 : "ls: " + name + ": No such file or directory";
    fuzzCheck (listingShowsFile (listing, name) == present, "ls's answer read wrong: a file there is missing or one missing is there");
}

void checkDigest (Input in)
{
    const juce::String digest = nameFrom (in.takeText (32), "0123456789abcdef");
    const juce::String name = nameFrom (in.takeText (in.take() % 41), shellSafeLetters);
    if (digest.length() != md5DigestLength)
        return;
    fuzzCheck (digestInAnswer (digest + "  " + name) == digest, "the digest of md5sum's answer was not read");
    const juce::String missing = digestInAnswer ("md5sum: can't open '" + name + "': No such file or directory");
    fuzzCheck (missing != digest, "md5sum's complaint read as a digest");
}

// Preset names may hold spaces and semicolons; "ls" separates them by spaces or line breaks,
// and the channel removes the line breaks.
void checkPresetCount (Input in)
{
    const int wanted = in.take() % 32;
    juce::String listing;
    int listed = 0;
    while (listed < wanted && in.size > 0)
    {
        const juce::String stem = nameFrom (in.takeText (in.take() % 13), "abcXYZ019 ;._-m");
        const juce::String packed = stem.removeCharacters (" ;");
        if (packed.isEmpty() || packed.contains (".mz"))
            continue;
        listing += stem + ".mz" + juce::String (in.take() % 2 == 0 ? "  " : "");
        ++listed;
    }
    fuzzCheck (countListedPresets (listing) == listed, "the presets listed were counted wrong");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    Input in { data, size };
    const uint8_t mode = in.take();
    switch (mode % 4)
    {
        case 0: checkAnyAnswer (in); break;
        case 1: checkListing (in, mode); break;
        case 2: checkDigest (in); break;
        default: checkPresetCount (in); break;
    }
    return 0;
}
