#pragma once

// The far end of a ZMODEM exchange, scripted by a test over a pseudo-terminal pair: it reads
// the headers and subpackets our engine writes (checking their CRCs) and writes headers and
// subpackets the way the instrument's lrzsz does, CRC-16 or CRC-32.

#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemCrc.h"

#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace farend
{
constexpr uint8_t zdle = 0x18;
enum : uint8_t { zrqinit = 0, zrinit = 1, zack = 3, zfile = 4, zskip = 5, zfin = 8, zrpos = 9, zdata = 10, zeof = 11 };

struct Header
{
    char format = 0;
    uint8_t type = 0;
    uint8_t data[4] {};
    uint32_t position() const { return data[0] | data[1] << 8 | data[2] << 16 | (uint32_t) data[3] << 24; }
};

struct Subpacket
{
    std::string payload;
    char end = 0;
    bool crcOk = false;
};

inline std::string hexOf (const uint8_t* bytes, int count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < count; ++i)
    {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

inline std::string escaped (const std::string& bytes)
{
    std::string out;
    for (unsigned char b : bytes)
    {
        const int low = b & 0x7F;
        if (b == 0x7F || b == 0xFF)
            out += { (char) zdle, b == 0x7F ? 'l' : 'm' };
        else if (low == 0x10 || low == 0x11 || low == 0x13 || low == 0x18)
            out += { (char) zdle, (char) (b ^ 0x40) };
        else
            out += (char) b;
    }
    return out;
}

inline std::string positionBytes (uint32_t position)
{
    return { (char) position, (char) (position >> 8), (char) (position >> 16), (char) (position >> 24) };
}

inline std::string hexHeader (uint8_t type, const std::string& data4, bool xon = true)
{
    uint8_t bytes[7] = { type };
    for (int i = 0; i < 4; ++i)
        bytes[i + 1] = (uint8_t) data4[(size_t) i];
    const uint16_t crc = crc16Of (bytes, 5);
    bytes[5] = (uint8_t) (crc >> 8);
    bytes[6] = (uint8_t) crc;
    return std::string ("**\x18" "B") + hexOf (bytes, 7) + "\r\n" + (xon ? "\x11" : "");
}

inline std::string hexHeader (uint8_t type, uint32_t position = 0) { return hexHeader (type, positionBytes (position), type != zfin && type != zack); }

// Binary headers as lsz sends them: CRC-32 (format C) once we have said we accept it.
inline std::string binaryHeader (uint8_t type, uint32_t position, bool crc32 = true)
{
    std::string body = std::string (1, (char) type) + positionBytes (position);
    std::string check;
    if (crc32)
    {
        const uint32_t crc = ~crc32Of (body.data(), body.size());
        check = positionBytes (crc);
    }
    else
    {
        const uint16_t crc = crc16Of (body.data(), body.size());
        check = { (char) (crc >> 8), (char) crc };
    }
    return std::string ("*\x18") + (crc32 ? "C" : "A") + escaped (body + check);
}

inline std::string subpacket (const std::string& payload, char end, bool crc32 = true, bool damage = false)
{
    std::string check;
    if (crc32)
    {
        uint32_t crc = crc32Update (crc32Of (payload.data(), payload.size()), (uint8_t) end);
        check = positionBytes (~crc);
    }
    else
    {
        const uint16_t crc = crc16Update (crc16Of (payload.data(), payload.size()), (uint8_t) end);
        check = { (char) (crc >> 8), (char) crc };
    }
    if (damage)
        check[0] ^= 0x01;
    return escaped (payload) + std::string { (char) zdle, end } + escaped (check);
}

class FarEnd
{
public:
    explicit FarEnd (const PtyPair& pair) : line (pair) {}

    void send (const std::string& bytes) const { line.writeFar (bytes); }

    // The next header our engine wrote; what lies before it is kept in `skipped`.
    std::optional<Header> nextHeader (int timeoutMs = 3000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
        for (int c = byte (deadline); c >= 0; c = byte (deadline))
        {
            if (c != '*')
            {
                skipped += (char) c;
                continue;
            }
            int pads = 1;
            while ((c = byte (deadline)) == '*')
                ++pads;
            if (c != zdle)
            {
                skipped += std::string ((size_t) pads, '*');
                if (c < 0)
                    return std::nullopt;
                skipped += (char) c;
                continue;
            }
            c = byte (deadline);
            Header header;
            header.format = (char) c;
            uint8_t bytes[7];
            if (c == 'A')
            {
                for (auto& b : bytes)
                    b = (uint8_t) escapedByte (deadline);
            }
            else if (c == 'B' && pads >= 2)
            {
                for (auto& b : bytes)
                {
                    const int high = nibble (byte (deadline));
                    b = (uint8_t) (high << 4 | nibble (byte (deadline)));
                }
                byte (deadline);  // CR
                byte (deadline);  // LF, then the XON that the same write carries, if any
                if (byte (std::chrono::steady_clock::now()) != 0x11 && at > 0)
                    --at;
            }
            else
            {
                skipped += "*\x18" + std::string (1, (char) c);
                continue;
            }
            header.type = bytes[0];
            std::copy (bytes + 1, bytes + 5, header.data);
            if (crc16Of (bytes, 5) != (uint16_t) (bytes[5] << 8 | bytes[6]))
                header.format = '?';
            return header;
        }
        return std::nullopt;
    }

    // The next header of `type`, skipping others; nullopt when none comes in time.
    std::optional<Header> awaitHeader (uint8_t type, int timeoutMs = 3000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
        for (;;)
        {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now()).count();
            auto header = nextHeader ((int) std::max<long long> (left, 0));
            if (! header || header->type == type)
                return header;
        }
    }

    // A data subpacket our engine wrote (always CRC-16).
    Subpacket nextSubpacket (int timeoutMs = 3000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
        Subpacket packet;
        for (;;)
        {
            int c = byte (deadline);
            if (c < 0)
                return packet;
            if (c == zdle)
            {
                c = byte (deadline);
                if (c == 'h' || c == 'i' || c == 'j' || c == 'k')
                {
                    packet.end = (char) c;
                    break;
                }
                packet.payload += (char) (c == 'l' ? 0x7F : c == 'm' ? 0xFF : c ^ 0x40);
            }
            else
                packet.payload += (char) c;
        }
        const int high = escapedByte (deadline);
        const int low = escapedByte (deadline);
        const uint16_t crc = crc16Update (crc16Of (packet.payload.data(), packet.payload.size()), (uint8_t) packet.end);
        packet.crcOk = high >= 0 && low >= 0 && crc == (uint16_t) (high << 8 | low);
        return packet;
    }

    // Everything that arrives until the line has been quiet for `settleMs`.
    std::string drain (int settleMs = 100) { return take() + line.readFarAvailable (settleMs); }

    std::string skipped;

private:
    std::string take()
    {
        std::string rest = pending.substr (at);
        pending.clear();
        at = 0;
        return rest;
    }

    int byte (std::chrono::steady_clock::time_point deadline)
    {
        if (at == pending.size())
        {
            pending.clear();
            at = 0;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now()).count();
            pollfd watch { line.master, POLLIN, 0 };
            if (left <= 0 || ::poll (&watch, 1, (int) left) <= 0)
                return -1;
            char chunk[4096];
            const ssize_t n = ::read (line.master, chunk, sizeof (chunk));
            if (n <= 0)
                return -1;
            pending.assign (chunk, (size_t) n);
        }
        return (unsigned char) pending[at++];
    }

    int escapedByte (std::chrono::steady_clock::time_point deadline)
    {
        const int c = byte (deadline);
        if (c != zdle)
            return c;
        const int next = byte (deadline);
        return next == 'l' ? 0x7F : next == 'm' ? 0xFF : next < 0 ? -1 : next ^ 0x40;
    }

    static int nibble (int c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 0x100; }

    const PtyPair& line;
    std::string pending;
    size_t at = 0;
};

// The engine bound to the near end of a fresh line; an entry point runs on its own thread
// while the test plays the far end.
struct EngineOnPty : ::testing::Test
{
    PtyPair line;
    FarEnd far { line };

    void SetUp() override
    {
        errorClear();
        zmodemSetDefaults();
        ASSERT_TRUE (zmodemOpen (line.path.c_str()));
    }

    void TearDown() override
    {
        // Bytes read ahead from this line must not reach whatever opens a line next.
        flushInput();
        zmodemClose();
        errorClear();
        zmodemExpectedFiles = 0;
        reportTransferProgress = false;
        currentProgressListener = nullptr;
    }

    template <typename Call>
    static std::future<bool> start (Call call)
    {
        return std::async (std::launch::async, call);
    }

    // Every retry bound ends a call long before this; a call still running is a hang.
    static bool result (std::future<bool>& call, int seconds = 60)
    {
        if (call.wait_for (std::chrono::seconds (seconds)) != std::future_status::ready)
        {
            std::fprintf (stderr, "HANG: the entry point did not return within %d s\n", seconds);
            std::_Exit (3);
        }
        return call.get();
    }

    static bool running (std::future<bool>& call) { return call.wait_for (std::chrono::seconds (0)) != std::future_status::ready; }
};
} // namespace farend
