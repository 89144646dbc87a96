#pragma once

// The wire layer of the transfer engine: building, escaping, checksumming, writing and reading
// back headers and data subpackets, over the one state record. Nothing here retries: every
// operation returns as soon as the sticky error is set, and callers recover.

#include <cstdint>

namespace zmodem
{
constexpr uint8_t zpad = 0x2A;
constexpr uint8_t zdle = 0x18;
constexpr uint8_t zbin = 'A';
constexpr uint8_t zhex = 'B';
constexpr uint8_t zbin32 = 'C';
constexpr uint8_t zcrce = 'h';
constexpr uint8_t zcrcg = 'i';
constexpr uint8_t zcrcq = 'j';
constexpr uint8_t zcrcw = 'k';
constexpr uint8_t zrub0 = 'l';
constexpr uint8_t zrub1 = 'm';
constexpr uint8_t xon = 0x11;

constexpr uint8_t zrqinit = 0;
constexpr uint8_t zrinit = 1;
constexpr uint8_t zack = 3;
constexpr uint8_t zfile = 4;
constexpr uint8_t zskip = 5;
constexpr uint8_t zfin = 8;
constexpr uint8_t zrpos = 9;
constexpr uint8_t zdata = 10;
constexpr uint8_t zeof = 11;
constexpr uint8_t zcancelled = 0xFE;

// ZRINIT flags: full duplex, can receive while writing to disk, accepts CRC-32 frames.
constexpr uint8_t zrinitFlags = 0x23;

// The sender's opening header, written as one constant.
extern const char fixedZrqinit[21];

// The longest run of bytes the header search skips before it counts a timeout: a line that
// never stops talking must not keep a waiting state alive for ever.
constexpr long headerSearchLimit = 1L << 20;
} // namespace zmodem

// The frame end of the last data subpacket read (zcrce, zcrcg, zcrcq, zcrcw or whatever
// marker ended it); the receiver acknowledges zcrcw and zcrcq.
extern int zmodemLastFrameEnd;

bool needsEscape (uint8_t byte);

// Eight CANs and ten backspaces: the far end's rz or lsz gives up at once. Every transfer
// entry point that fails sends it before it returns.
void zmodemSendAbort();

// Bytes that polls for a header skipped over. A receiver that streams well stays silent; one
// whose program has ended leaves a terminal that echoes every byte sent.
extern long zmodemPolledNoise;

void sendRawByte();
void sendEscapedByte();
void sendHexByte();
void sendHeader();
void sendDataSubpacket();
void sendFileInfoSubpacket();
void readEscapedByte();
void readHexByte();
void getHeader();
void pollHeader();
void readDataSubpacket();

// Header helpers over the state record: set a header to send, read the position it carries.
void setHeader (char format, uint8_t type, uint32_t position);
void setHeaderFlags (char format, uint8_t type, uint8_t zp0, uint8_t zp1, uint8_t zp2, uint8_t zp3);
uint32_t headerPosition();
