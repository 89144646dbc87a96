// The version-document reader: a document's bytes read as the application reads them (both a
// file fetched from the instrument and a server's answer become text through
// InputStream::readEntireStreamAsString), parsed by parseVersionDocument and their version
// taken by readVersionAttribute. juce_core is instrumented in this target, so the sanitizers
// and the coverage reach into JUCE's parser.
//
// First byte: bit 0 chooses a document built here from the rest, with its version known
// (comments, text, CDATA and a declaration around it, the attribute among others, escaped,
// in UTF-8 or UTF-16); otherwise the rest is the document as it is.

#include "tasks/VersionDocument.h"
#include "tests/fuzz/FuzzCheck.h"

#include <string>

namespace
{
struct Reading
{
    std::unique_ptr<juce::XmlElement> root;
    juce::String version;
};

Reading readDocument (const void* data, size_t size)
{
    juce::MemoryInputStream in (data, size, false);
    Reading r;
    r.root = parseVersionDocument (in.readEntireStreamAsString());
    if (r.root != nullptr)
        r.version = readVersionAttribute (*r.root);
    return r;
}

bool someChildHasVersion (const juce::XmlElement& root, const juce::String& version)
{
    for (auto* child : root.getChildIterator())
        if (! child->isTextElement() && child->getStringAttribute ("version") == version)
            return true;
    return false;
}

void checkAnyDocument (const uint8_t* data, size_t size)
{
    const Reading r = readDocument (data, size);
    fuzzCheck (r.version.isEmpty() || someChildHasVersion (*r.root, r.version),
               "a version that no child element of the root carries");
}

struct Builder
{
    const uint8_t* data;
    size_t size;

    uint8_t take() { return size > 0 ? (--size, *data++) : 0; }
    std::string word()
    {
        std::string w (1, (char) ('a' + take() % 26));
        for (int n = take() % 6; n > 0; --n)
            w += "abcxyz019_-."[take() % 12];
        return w;
    }
    // Printable ASCII, as the value's text; returned escaped for an attribute in `quote`s.
    std::string value (std::string& plain, char quote)
    {
        std::string escaped;
        for (int n = take() % 24; n > 0; --n)
        {
            const char c = (char) (0x20 + take() % 0x5F);
            plain += c;
            escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == quote ? (quote == '"' ? "&quot;" : "&apos;") : std::string (1, c);
        }
        return escaped;
    }
    std::string filler()
    {
        switch (take() % 5)
        {
            case 0: return "\n  ";
            case 1: return "<!-- " + word() + " -->";
            case 2: return "<![CDATA[" + word() + " <x version=\"9\"/>]]>";
            case 3: return word();
            default: return "";
        }
    }
    std::string attribute (char quote) { return " " + word() + "=" + quote + word() + quote; }
};

void checkBuiltDocument (const uint8_t* data, size_t size)
{
    Builder b { data, size };
    const uint8_t shape = b.take();
    const char quote = (shape & 1) ? '\'' : '"';
    std::string version;
    const std::string escaped = b.value (version, quote);
    const bool hasVersion = (shape & 0x30) != 0x30;

    std::string doc = (shape & 2) ? "\xEF\xBB\xBF" : "";
    if (shape & 8)
        doc += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- " + b.word() + " --><?style " + b.word() + "?>\n";
    const std::string root = b.word();
    doc += "<" + root + ((shape & 16) ? " version=\"root\"" : "") + ">";
    for (int n = b.take() % 3; n > 0; --n)
        doc += b.filler();

    const std::string first = b.word();
    doc += "<" + first;
    if (shape & 32)
        doc += b.attribute (quote);
    if (hasVersion)
        doc += std::string (" version=") + quote + escaped + quote;
    if (shape & 64)
        doc += b.attribute (quote);
    doc += (shape & 128) ? "/>" : "><inner version=\"inner\"/></" + first + ">";
    doc += b.filler() + "<later version=\"later\"/>" + b.filler() + "</" + root + ">";

    if (shape & 4)
    {
        // UTF-16, little-endian with its byte order mark; the text is ASCII.
        std::string wide = "\xFF\xFE";
        for (char c : doc.substr (doc.rfind ("\xEF\xBB\xBF", 0) == 0 ? 3 : 0))
            wide += std::string (1, c) + '\0';
        doc = wide;
    }
    const Reading r = readDocument (doc.data(), doc.size());
    fuzzCheck (r.root != nullptr && r.version == (hasVersion ? juce::String (version) : juce::String()),
               "a built document's version read wrong");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 1)
        checkBuiltDocument (data + 1, size - 1);
    else
        checkAnyDocument (data + 1, size - 1);
    return 0;
}
