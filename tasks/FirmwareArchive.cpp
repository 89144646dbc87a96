#include "tasks/FirmwareArchive.h"

#include "devicefiles/ShellSafeNames.h"
#include "zmodem/ZmodemCrc.h"

#include <set>

namespace
{
// The archive's own record of an entry, read from its central directory: JUCE's reader keeps
// neither the CRC-32 nor the compression method.
struct DirectoryRecord
{
    juce::String name;
    juce::uint32 crc = 0;
    juce::int64 size = 0;
    int method = 0;
    int flags = 0;
    juce::uint32 fileType = 0;  // the Unix file type bits of the external attributes
};

constexpr juce::uint32 endOfDirectorySignature = 0x06054b50;
constexpr juce::uint32 directoryRecordSignature = 0x02014b50;
constexpr int endOfDirectorySize = 22;
constexpr int directoryRecordSize = 46;
constexpr int largestCommentSize = 0xFFFF;
constexpr juce::uint32 regularFileType = 0x8, directoryType = 0x4;

juce::uint32 le16 (const juce::uint8* p) { return (juce::uint32) p[0] | ((juce::uint32) p[1] << 8); }
juce::uint32 le32 (const juce::uint8* p) { return le16 (p) | (le16 (p + 2) << 16); }

bool readAt (juce::FileInputStream& in, juce::int64 offset, juce::MemoryBlock& into, size_t length)
{
    into.setSize (length);
    return in.setPosition (offset) && in.read (into.getData(), (int) length) == (int) length;
}

// The offset of the end-of-directory record, searched backwards over the longest comment.
juce::int64 findEndOfDirectory (juce::FileInputStream& in, juce::MemoryBlock& record)
{
    const juce::int64 size = in.getTotalLength();
    const juce::int64 from = juce::jmax ((juce::int64) 0, size - endOfDirectorySize - largestCommentSize);
    juce::MemoryBlock tail;
    if (size < endOfDirectorySize || ! readAt (in, from, tail, (size_t) (size - from)))
        return -1;
    const auto* bytes = static_cast<const juce::uint8*> (tail.getData());
    for (auto i = (juce::int64) tail.getSize() - endOfDirectorySize; i >= 0; --i)
        if (le32 (bytes + i) == endOfDirectorySignature)
        {
            record.replaceAll (bytes + i, endOfDirectorySize);
            return from + i;
        }
    return -1;
}

juce::String readDirectory (const juce::File& archive, std::vector<DirectoryRecord>& records)
{
    juce::FileInputStream in (archive);
    juce::MemoryBlock end, directory;
    if (! in.openedOk() || findEndOfDirectory (in, end) < 0)
        return "it is not a zip archive";

    const auto* e = static_cast<const juce::uint8*> (end.getData());
    const juce::uint32 count = le16 (e + 10), length = le32 (e + 12), offset = le32 (e + 16);
    if (count == 0xFFFF || length == 0xFFFFFFFFu || offset == 0xFFFFFFFFu)
        return "it needs 64-bit zip records, which no firmware archive uses";
    if (! readAt (in, offset, directory, length))
        return "its directory lies outside the file";

    const auto* d = static_cast<const juce::uint8*> (directory.getData());
    for (size_t pos = 0; records.size() < count; )
    {
        if (pos + directoryRecordSize > length || le32 (d + pos) != directoryRecordSignature)
            return "its directory is damaged";
        const juce::uint32 nameLength = le16 (d + pos + 28);
        const size_t next = pos + directoryRecordSize + nameLength + le16 (d + pos + 30) + le16 (d + pos + 32);
        if (next > length)
            return "its directory is damaged";
        DirectoryRecord r;
        r.flags = (int) le16 (d + pos + 8);
        r.method = (int) le16 (d + pos + 10);
        r.crc = le32 (d + pos + 16);
        r.size = (juce::int64) le32 (d + pos + 24);
        r.fileType = le32 (d + pos + 38) >> 28;
        r.name = juce::String::fromUTF8 ((const char*) d + pos + directoryRecordSize, (int) nameLength);
        records.push_back (r);
        pos = next;
    }
    return {};
}

// Only bare names may start with "..": such a file belongs directly under /usr/.
juce::String pathProblem (const juce::String& path)
{
    const juce::String withoutSlash = path.endsWith ("/") ? path.dropLastCharacters (1) : path;
    if (withoutSlash.isEmpty() || path.startsWith ("/") || path.containsChar ('\\'))
        return "the path \"" + path + "\" is not relative";
    const juce::StringArray parts = juce::StringArray::fromTokens (withoutSlash, "/", {});
    for (int i = 0; i < parts.size(); ++i)
    {
        const bool usrName = parts.size() == 1 && ! path.endsWith ("/") && parts[i].startsWith ("..") && parts[i].length() > 2;
        const juce::String checked = usrName ? parts[i].substring (2) : parts[i];
        if (checked.isEmpty() || checked.startsWith ("..") || refuseUnsafeName (checked, false))
            return "the path \"" + path + "\" cannot be installed safely";
    }
    return {};
}

juce::String entryProblem (const DirectoryRecord& r, const juce::ZipFile::ZipEntry& entry)
{
    if (entry.filename != r.name)
        return "its directory is damaged";
    if (r.fileType != 0 && r.fileType != regularFileType && r.fileType != directoryType)
        return "\"" + r.name + "\" is a link or a special file";
    if ((r.flags & 1) != 0 || (r.method != 0 && r.method != 8))
        return "\"" + r.name + "\" is encrypted or compressed in an unknown way";
    if (r.size > largestArchiveEntryBytes)
        return "\"" + r.name + "\" is larger than " + juce::String (largestArchiveEntryBytes) + " bytes";
    return pathProblem (r.name);
}

// Streams the entry onto disk, reading at most one byte more than recorded so that a lying
// size shows without unpacking an unbounded amount.
juce::String unpackEntry (juce::ZipFile& zip, int index, const DirectoryRecord& r, const juce::File& target)
{
    std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (index));
    if (in == nullptr || ! target.getParentDirectory().createDirectory())
        return "\"" + r.name + "\" cannot be unpacked";
    juce::FileOutputStream out (target);
    if (! out.openedOk())
        return "\"" + r.name + "\" cannot be written on this computer: " + out.getStatus().getErrorMessage();

    juce::HeapBlock<char> buffer (8192);
    juce::uint32 crc = 0xFFFFFFFFu;
    juce::int64 size = 0;
    for (int n; size <= r.size && (n = in->read (buffer, 8192)) > 0; size += n)
    {
        crc = crc32Of (buffer, (size_t) n, crc);
        if (! out.write (buffer, (size_t) n))
            return "\"" + r.name + "\" cannot be written on this computer: " + out.getStatus().getErrorMessage();
    }
    out.flush();
    if (out.getStatus().failed())
        return "\"" + r.name + "\" cannot be written on this computer: " + out.getStatus().getErrorMessage();
    if (size != r.size || ~crc != r.crc)
        return "\"" + r.name + "\" does not unpack to the bytes the archive records";
    return {};
}
} // namespace

UnpackedArchive unpackFirmwareArchive (const juce::File& archive, const juce::File& into)
{
    UnpackedArchive result;
    std::vector<DirectoryRecord> records;
    result.refusal = readDirectory (archive, records);
    juce::ZipFile zip (archive);
    if (! result.refused() && (int) records.size() != zip.getNumEntries())
        result.refusal = "its directory is damaged";

    std::set<juce::String> paths;
    juce::int64 total = 0;
    for (int i = 0; i < (int) records.size() && ! result.refused(); ++i)
    {
        const DirectoryRecord& r = records[(size_t) i];
        result.refusal = entryProblem (r, *zip.getEntry (i));
        if (result.refused() || r.name.endsWith ("/"))
            continue;
        if (! paths.insert (r.name).second)
            result.refusal = "\"" + r.name + "\" is in it twice";
        else if ((total += r.size) > largestArchiveBytes)
            result.refusal = "it unpacks to more than " + juce::String (largestArchiveBytes) + " bytes";
        else
        {
            const juce::File local = into.getChildFile (juce::String (i)).getChildFile (r.name.fromLastOccurrenceOf ("/", false, false));
            result.refusal = unpackEntry (zip, i, r, local);
            result.files.push_back ({ r.name, local });
        }
    }
    if (! result.refused() && result.files.empty())
        result.refusal = records.empty() ? "it is not a zip archive or holds nothing" : "it holds no file";
    if (result.refused())
        result.files.clear();
    return result;
}
