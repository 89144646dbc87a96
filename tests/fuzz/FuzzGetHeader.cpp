// The header search and the three header formats, on whatever the line brings.
//
// First input byte: bit 0 chooses getHeader or pollHeader; with bit 1 set the rest is not
// line input but a header to send (format, type, ZP0..ZP3) that must read back unchanged.

#include "tests/fuzz/FuzzPort.h"
#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemState.h"

#include <cstring>
#include <string>

namespace
{
void readHeaders (bool poll, size_t size)
{
    auto& z = zmodemState;
    // Each header takes at least one byte and the end of the input is a timeout, so this
    // ends within one round per input byte.
    for (size_t round = 0; round <= size; ++round)
    {
        if (poll)
        {
            // pollHeader reads in try-once mode for its own duration only.
            z.blockingRead = 1;
            pollHeader();
            fuzzCheck (z.blockingRead == 1, "pollHeader did not restore the read mode");
            z.blockingRead = 0;
        }
        else
            getHeader();

        if (errorPending())
        {
            fuzzCheck (! z.headerReady, "a header reported ready with an error pending");
            return;
        }
        fuzzCheck (z.headerReady == 1, "getHeader returned without header or error");
        fuzzCheck (z.headerFormat == zmodem::zbin || z.headerFormat == zmodem::zbin32
                       || z.headerFormat == zmodem::zhex,
                   "a header of unknown format was accepted");
    }
    fuzzFail ("more headers than input bytes");
}

void roundTrip (const uint8_t* data, size_t size)
{
    if (size < 6)
        return;
    const char format = (data[0] & 1) ? zmodem::zhex : zmodem::zbin;
    std::string wire;
    fuzzPortKeepWrites (&wire);
    setHeaderFlags (format, data[1], data[2], data[3], data[4], data[5]);
    sendHeader();
    fuzzPortKeepWrites (nullptr);

    fuzzEngineStart (reinterpret_cast<const uint8_t*> (wire.data()), wire.size());
    getHeader();
    auto& z = zmodemState;
    fuzzCheck (! errorPending(), "a header we sent did not read back");
    fuzzCheck (z.headerFormat == format && z.headerType == data[1]
                   && std::memcmp (z.headerData, data + 2, 4) == 0,
               "a header we sent read back different");
    // Only the XON after a hex header may be left over.
    readRawByte();
    if (format == zmodem::zhex && z.headerType != zmodem::zfin && z.headerType != zmodem::zack)
    {
        fuzzCheck (! errorPending() && z.curChar == zmodem::xon, "no XON after a hex header");
        readRawByte();
    }
    fuzzCheck (errorIs (zmodemTimeoutMessage), "bytes left after a header we sent");
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
        readHeaders (mode & 1, size - 1);
    return 0;
}
