// The data-subpacket reader on whatever follows a ZDATA or ZFILE header.
//
// First input byte: its low two bits choose the format of the header the subpackets follow
// (0 binary CRC-16, 1 hex, 2 CRC-32); 3 makes the rest a payload to send in subpackets that
// must read back byte for byte.

#include "tests/fuzz/FuzzPort.h"
#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemState.h"

#include <cstring>
#include <string>

namespace
{
void readSubpackets (char format, size_t size)
{
    auto& z = zmodemState;
    z.headerFormat = format;

    // Each subpacket takes at least one byte and the end of the input is a timeout.
    for (size_t round = 0; round <= size; ++round)
    {
        const uint32_t before = z.filePos;
        z.moreData = 1;
        readDataSubpacket();

        fuzzCheck (z.bufPtr >= z.buffer && z.bufPtr <= z.bufEnd, "write pointer left the buffer");
        if (errorPending())
        {
            fuzzCheck (z.moreData == 0, "an error left moreData set");
            fuzzCheck (z.filePos == before, "a failed subpacket moved the file position");
            return;
        }
        const long length = (long) (z.bufPtr - z.buffer);
        fuzzCheck (length < z.bufferSize, "a subpacket filled the whole buffer");
        fuzzCheck (z.filePos == before + (uint32_t) length, "the file position did not grow by the payload");
        fuzzCheck ((z.moreData == 1) == (zmodemLastFrameEnd == zmodem::zcrcg),
                   "moreData does not follow the frame end");
    }
    fuzzFail ("more subpackets than input bytes");
}

// Our own subpackets, as the sender writes them, read back by our own reader.
void roundTrip (const uint8_t* data, size_t size)
{
    auto& z = zmodemState;
    std::string wire;
    fuzzPortKeepWrites (&wire);
    size_t offset = 0;
    do
    {
        z.blockLen = (uint32_t) std::min (size - offset, (size_t) z.blockSize);
        std::memcpy (z.buffer, data + offset, z.blockLen);
        offset += z.blockLen;
        z.moreData = offset < size;
        sendDataSubpacket();
    } while (offset < size);
    fuzzPortKeepWrites (nullptr);

    fuzzEngineStart (reinterpret_cast<const uint8_t*> (wire.data()), wire.size());
    z.headerFormat = zmodem::zbin;
    std::string payload;
    z.moreData = 1;
    while (z.moreData)
    {
        readDataSubpacket();
        fuzzCheck (! errorPending(), "a subpacket we sent did not read back");
        payload.append (z.buffer, (size_t) (z.bufPtr - z.buffer));
    }
    readRawByte();
    fuzzCheck (errorIs (zmodemTimeoutMessage), "bytes left after the last subpacket");
    fuzzCheck (payload.size() == size && std::memcmp (payload.data(), data, size) == 0,
               "a payload we sent read back different");
    fuzzCheck (z.filePos == size, "the file position does not match the payload");
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
    static const char formats[] = { zmodem::zbin, zmodem::zhex, zmodem::zbin32 };
    const int mode = data[0] & 3;
    fuzzEngineStart (data + 1, size - 1);
    if (mode == 3)
        roundTrip (data + 1, size - 1);
    else
        readSubpackets (formats[mode], size - 1);
    return 0;
}
