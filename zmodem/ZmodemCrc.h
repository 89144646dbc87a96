#pragma once

// The two checks of the transfer engine, both table-driven: CRC-16/XMODEM for everything
// the engine sends and for CRC-16 frames it receives, CRC-32/ISO-HDLC for the CRC-32 frames
// that the instrument's sender uses once we have said we accept them.

#include <cstddef>
#include <cstdint>

extern const uint16_t crc16Table[256];
extern const uint32_t crc32Table[256];

inline uint16_t crc16Update (uint16_t crc, uint8_t byte)
{
    return (uint16_t) (crc16Table[((crc >> 8) ^ byte) & 0xFF] ^ (uint16_t) (crc << 8));
}

inline uint32_t crc32Update (uint32_t crc, uint8_t byte)
{
    return crc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint16_t crc16Of (const void* data, size_t length, uint16_t crc = 0);

// The register after the bytes, not yet inverted: callers go on feeding it.
uint32_t crc32Of (const void* data, size_t length, uint32_t crc = 0xFFFFFFFFu);
