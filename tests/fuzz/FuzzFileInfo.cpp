// The receiver's file-information step: the subpacket after a ZFILE header, its name and the
// size, time and mode text behind it. The step lives inside the receiver's own translation
// unit, so the receiver is compiled into this target rather than linked.
//
// First input byte: bit 0 chooses a CRC-32 ZFILE (as the instrument's sz sends it) or a
// CRC-16 one; with bit 1 set the rest is instead a name and numbers for our sender's
// information subpacket, which the receiver must read back unchanged.

#include "zmodem/ZmodemReceiver.cpp"

#include "tests/fuzz/FuzzPort.h"

#include <cstring>
#include <string>

namespace
{
bool isBareName (const char* name)
{
    return name[0] != '\0' && std::strchr (name, '/') == nullptr && std::strchr (name, '\\') == nullptr
           && std::strcmp (name, ".") != 0 && std::strcmp (name, "..") != 0;
}

void readInformation (char format)
{
    auto& z = zmodemState;
    z.headerFormat = format;
    z.headerType = zfile;
    readFileInfo();
    if (errorPending())
        return;

    fuzzCheck (std::strlen (z.fileName) < sizeof (z.fileName), "the file name overran its field");
    fuzzCheck (isBareName (z.fileName), "a received name that is a path, empty, . or ..");
    fuzzCheck (z.fileInfo > z.buffer && z.fileInfo < z.bufPtr, "the information text lies outside the payload");
    fuzzCheck (std::memchr (z.fileInfo, 0, (size_t) (z.bufPtr - z.fileInfo)) != nullptr,
               "the information text is not terminated inside the payload");
}

uint32_t word (const uint8_t* bytes)
{
    return (uint32_t) bytes[0] | ((uint32_t) bytes[1] << 8) | ((uint32_t) bytes[2] << 16)
           | ((uint32_t) bytes[3] << 24);
}

// What our sender announces is what our receiver takes in.
void roundTrip (const uint8_t* data, size_t size)
{
    if (size < 12)
        return;
    auto& z = zmodemState;
    const int32_t fileSize = (int32_t) word (data);
    const int32_t fileTime = (int32_t) word (data + 4);
    const int fileMode = (int) (word (data + 8) & 07777);

    // The sender writes the name unescaped, so a name holding a byte of the escape set
    // (ZDLE above all) cannot cross the line: such names are left out here.
    std::string name;
    for (size_t i = 12; i < size && name.size() < sizeof (z.fileName) - 1; ++i)
        if (data[i] != 0 && data[i] != '/' && data[i] != '\\' && ! needsEscape (data[i]))
            name += (char) data[i];
    if (name.empty() || name == "." || name == "..")
        return;

    std::snprintf (z.fileName, sizeof (z.fileName), "%s", name.c_str());
    z.fileSize = fileSize;
    z.fileTime = fileTime;
    z.fileMode = fileMode;
    std::string wire;
    fuzzPortKeepWrites (&wire);
    sendFileInfoSubpacket();
    fuzzPortKeepWrites (nullptr);

    fuzzEngineStart (reinterpret_cast<const uint8_t*> (wire.data()), wire.size());
    z.fileSize = z.fileTime = z.fileMode = 0;
    z.headerFormat = zbin;
    readFileInfo();

    // The name and its text must stay under the 1024 bytes the receiver allows; longer names
    // cannot be sent (the field holds 259 characters).
    fuzzCheck (! errorPending(), "our own file information did not read back");
    fuzzCheck (name == z.fileName, "the file name read back different");
    fuzzCheck (z.fileSize == fileSize && z.fileTime == fileTime && z.fileMode == fileMode,
               "size, time or mode read back different");
    readRawByte();
    fuzzCheck (! errorPending() && z.curChar == xon, "no XON after the file information");
    readRawByte();
    fuzzCheck (errorIs (zmodemTimeoutMessage), "bytes left after the file information");
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzEngineOpen();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    fuzzEngineStart (data + 1, size - 1);
    if (mode & 2)
        roundTrip (data + 1, size - 1);
    else
        readInformation ((mode & 1) ? zbin32 : zbin);
    return 0;
}
