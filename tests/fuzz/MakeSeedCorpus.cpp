// Writes the fuzz targets' seed inputs: real frames, most of them produced by our own
// framing code through the fuzz port, and the CRC-32 frames that the instrument's sz sends
// (which our sender never produces) built here byte by byte.
//   make_seed_corpus OUTPUT_DIR   ->  OUTPUT_DIR/<target>/<seed>

#include "tests/fuzz/FuzzPort.h"
#include "zmodem/ZmodemCrc.h"
#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>

using namespace zmodem;

namespace
{
std::string outputDir;

void writeSeed (const char* target, const char* name, uint8_t mode, const std::string& bytes)
{
    const std::string dir = outputDir + "/" + target;
    ::mkdir (dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen (path.c_str(), "wb");
    if (f == nullptr)
        fuzzFail ("cannot write a seed");
    std::fputc (mode, f);
    std::fwrite (bytes.data(), 1, bytes.size(), f);
    std::fclose (f);
}

// Runs one of our send operations and returns what it put on the wire.
template <typename Send>
std::string captured (Send send)
{
    std::string wire;
    fuzzPortKeepWrites (&wire);
    send();
    fuzzPortKeepWrites (nullptr);
    return wire;
}

std::string ourHeader (char format, uint8_t type, uint32_t position)
{
    return captured ([&] { setHeader (format, type, position); sendHeader(); });
}

std::string ourHeaderFlags (char format, uint8_t type, uint8_t zp3)
{
    return captured ([&] { setHeaderFlags (format, type, 0, 0, 0, zp3); sendHeader(); });
}

// Subpackets as our sender writes them, `blockSize` bytes each, the last one ending the frame.
std::string ourSubpackets (const std::string& payload)
{
    auto& z = zmodemState;
    std::string wire;
    size_t offset = 0;
    do
    {
        z.blockLen = (uint32_t) std::min (payload.size() - offset, (size_t) z.blockSize);
        std::memcpy (z.buffer, payload.data() + offset, z.blockLen);
        offset += z.blockLen;
        z.moreData = offset < payload.size();
        wire += captured ([] { sendDataSubpacket(); });
    } while (offset < payload.size());
    return wire;
}

void escapeInto (std::string& out, uint8_t byte)
{
    if (! needsEscape (byte))
        return (void) (out += (char) byte);
    out += (char) zdle;
    out += (char) (byte == 0x7F ? zrub0 : byte == 0xFF ? zrub1 : (byte | 0x40));
}

void crc32Into (std::string& out, uint32_t registerValue)
{
    const uint32_t crc = ~registerValue;
    for (int i = 0; i < 4; ++i)
        escapeInto (out, (uint8_t) (crc >> (8 * i)));
}

std::string crc32Header (uint8_t type, uint32_t position)
{
    const uint8_t bytes[5] = { type, (uint8_t) position, (uint8_t) (position >> 8), (uint8_t) (position >> 16),
                               (uint8_t) (position >> 24) };
    std::string out = { (char) zpad, (char) zdle, (char) zbin32 };
    for (uint8_t b : bytes)
        escapeInto (out, b);
    crc32Into (out, crc32Of (bytes, 5));
    return out;
}

std::string crc32Subpacket (const std::string& payload, uint8_t end)
{
    std::string out;
    for (char c : payload)
        escapeInto (out, (uint8_t) c);
    out += (char) zdle;
    out += (char) end;
    uint32_t crc = crc32Of (payload.data(), payload.size());
    crc32Into (out, crc32Update (crc, end));
    if (end == zcrcw)
        out += (char) xon;
    return out;
}

std::string randomBytes (size_t count, unsigned seed)
{
    std::mt19937 rng (seed);
    std::string out (count, '\0');
    for (auto& c : out)
        c = (char) (rng() & 0xFF);
    return out;
}

std::string everyByteValue()
{
    std::string out;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b)
            out += (char) b;
    return out;
}

std::string information (const std::string& name, const std::string& text)
{
    return name + std::string (1, '\0') + text + std::string (1, '\0');
}

void headerSeeds()
{
    const char* t = "get_header";
    const std::string zrinitHex = ourHeaderFlags (zhex, zrinit, zrinitFlags);
    writeSeed (t, "zrinit_hex", 0, zrinitHex);
    writeSeed (t, "zfin_hex", 0, ourHeader (zhex, zfin, 0));
    writeSeed (t, "zrpos_hex", 1, ourHeader (zhex, zrpos, 0x12345678));
    writeSeed (t, "zeof_hex", 0, ourHeader (zhex, zeof, 1500));
    writeSeed (t, "zfile_bin16", 0, ourHeaderFlags (zbin, zfile, 1));
    // A position whose bytes need escaping.
    writeSeed (t, "zdata_bin16_escaped", 1, ourHeader (zbin, zdata, 0x7F181311));
    writeSeed (t, "zrqinit_fixed", 0, std::string (fixedZrqinit, sizeof (fixedZrqinit)));
    // What the instrument's rz prints: its banner, then ZRINIT with a high-bit line feed.
    writeSeed (t, "rz_banner_zrinit", 0, "rz waiting to receive.**\x18" "B0100000023be50\r\x8a\x11");
    writeSeed (t, "sz_opening", 0,
               "rz\r" + ourHeader (zhex, zrqinit, 0) + crc32Header (zfile, 0x01000000u));
    writeSeed (t, "zdata_bin32", 1, crc32Header (zdata, 1024));
    writeSeed (t, "zeof_bin32_then_zfin", 0, crc32Header (zeof, 1024) + "\r" + ourHeader (zhex, zfin, 0));
    writeSeed (t, "one_pad_is_not_hex", 0, "*\x18" "B0100000023be50\r\n" + zrinitHex);
    writeSeed (t, "roundtrip_bin16", 2, std::string ("\x00\x0a\x18\x11\x7f\xff", 6));
    writeSeed (t, "roundtrip_hex", 3, std::string ("\x01\x09\x00\x00\x00\x23", 6));
}

void subpacketSeeds()
{
    const char* t = "data_subpacket";
    writeSeed (t, "bin16_1500_random", 0, ourSubpackets (randomBytes (1500, 1)));
    writeSeed (t, "bin16_empty_zcrce", 0, ourSubpackets (""));
    writeSeed (t, "bin16_every_byte", 0, ourSubpackets (everyByteValue()));
    writeSeed (t, "hex_header_2048", 1, ourSubpackets (randomBytes (2048, 2)));
    writeSeed (t, "bin32_zcrcg_zcrce", 2,
               crc32Subpacket (randomBytes (1024, 3), zcrcg) + crc32Subpacket (randomBytes (100, 4), zcrce));
    // After a ZRPOS sz sends ZCRCW subpackets, each followed by XON.
    writeSeed (t, "bin32_zcrcw", 2, crc32Subpacket (randomBytes (1024, 5), zcrcw));
    writeSeed (t, "bin32_zcrcq", 2, crc32Subpacket (everyByteValue(), zcrcq));
    // One byte short of the work buffer: the longest payload the reader accepts.
    const std::string longest (17999, 'x');
    std::string longestWire = longest + "\x18h";
    const uint16_t longestCrc = crc16Update (crc16Of (longest.data(), longest.size()), zcrce);
    escapeInto (longestWire, (uint8_t) (longestCrc >> 8));
    escapeInto (longestWire, (uint8_t) longestCrc);
    writeSeed (t, "bin16_longest", 0, longestWire);
    writeSeed (t, "roundtrip_3000", 3, randomBytes (3000, 6));
}

void fileInfoSeeds()
{
    const char* t = "file_info";
    auto& z = zmodemState;
    std::snprintf (z.fileName, sizeof (z.fileName), "%s", "a.bin");
    z.fileSize = 1500;
    z.fileTime = 1;
    z.fileMode = 0644;
    writeSeed (t, "ours_a_bin", 0, captured ([] { sendFileInfoSubpacket(); }));
    // The form sz sends: name, size, octal time and mode, serial, files and bytes left.
    writeSeed (t, "sz_preset", 1, crc32Subpacket (information ("Preset01.mz", "1234 14723543211 100644 0 2 2468"), zcrcw));
    writeSeed (t, "sz_path", 1, crc32Subpacket (information ("usr/ap/presets/x.mz", "10 0 100644 0 1 10"), zcrcw));
    writeSeed (t, "sz_dotdot", 1, crc32Subpacket (information ("..", "10 0 100644 0 1 10"), zcrcw));
    writeSeed (t, "sz_empty", 1, crc32Subpacket (information ("", "0 0 0 0 1 0"), zcrcw));
    writeSeed (t, "sz_no_text_end", 1, crc32Subpacket ("name.bin" + std::string (1, '\0') + "1 2 3", zcrcw));
    const std::string longName (300, 'n');
    writeSeed (t, "sz_long_name", 1, crc32Subpacket (information (longName, "1 1 644"), zcrcw));
    writeSeed (t, "roundtrip_a_bin", 2, std::string ("\xdc\x05\x00\x00\x01\x00\x00\x00\xa4\x01\x00\x00", 12) + "a.bin");
}
std::string lengthAndText (const std::string& text) { return std::string (1, (char) text.size()) + text; }

// Flags, command index, length of the answer's first part (little-endian), answer.
void shellAnswerSeed (const char* name, uint8_t flags, uint8_t command, size_t firstPart, const std::string& answer)
{
    const std::string head = { (char) command, (char) (firstPart & 0xFF), (char) (firstPart >> 8) };
    writeSeed ("shell_answer", name, flags, head + answer);
}

void shellAnswerSeeds()
{
    const std::string prompts = "/usr/ap # /usr/ap # ";
    const size_t all = 0xFFFF;
    shellAnswerSeed ("cd_usr_ap", 2, 0, all, "cd /usr/ap\r\n\r\n" + prompts);
    shellAnswerSeed ("ls_main", 0, 1, all, "ls main\r\nmain\r\n" + prompts);
    shellAnswerSeed ("ls_missing", 2, 1, all, "ls main\r\nls: main: No such file or directory\r\n" + prompts);
    const std::string md5Echo = "md5sum main\r\n";
    shellAnswerSeed ("md5sum_echo_apart", 3, 2, md5Echo.size(),
                     md5Echo + "d41d8cd98f00b204e9800998ecf8427e  main\r\n" + prompts);
    shellAnswerSeed ("ls_presets", 8, 3, all, "ls\r\nA.mz  B b.mz\r\nC;.mz\r\n" + prompts);
    shellAnswerSeed ("serial_number", 0, 5, all, "read_mac_sn\r\nMAC : 00:11:22\r\nSN : 1234\r\n" + prompts);
    shellAnswerSeed ("high_byte", 0, 1, all, "ls main\r\nma\xe9in\r\n" + prompts);
    shellAnswerSeed ("echo_only", 2, 1, all, "ls main\r\n");
    std::string longListing = "ls\r\n";
    for (int i = 0; longListing.size() < 3000; ++i)
        longListing += "Preset" + std::to_string (i) + ".mz  " + (i == 150 ? "\x80" : "");
    shellAnswerSeed ("long_listing", 8, 3, 1000, longListing + "\r\n" + prompts);
    shellAnswerSeed ("built_cd_presets", 4, 4, 0, "");
    shellAnswerSeed ("built_md5sum_echo_apart", 4 | 16 | 1, 2, 0, "d41d8cd98f00b204e9800998ecf8427e  main");
    shellAnswerSeed ("built_listing", 4, 3, 0, "a.mz\r\nb.mz\r\n");
}

void shellParserSeeds()
{
    const char* t = "shell_parsers";
    writeSeed (t, "any_md5sum", 0, lengthAndText ("main") + "d41d8cd98f00b204e9800998ecf8427e  main");
    writeSeed (t, "any_presets", 0, lengthAndText ("") + "A.mz  B.mzreadme C;D.mz");
    writeSeed (t, "ls_present", 1 | 0x10, lengthAndText ("config.xml"));
    writeSeed (t, "ls_missing_busybox", 1, lengthAndText ("wavetable.bin"));
    writeSeed (t, "ls_missing_coreutils", 1 | 0x20, lengthAndText ("main"));
    writeSeed (t, "md5sum", 2, "0123456789abcdef0123456789abcdef" + lengthAndText ("main"));
    writeSeed (t, "presets", 3, std::string ("\x03") + lengthAndText ("Preset 1") + "\x00" + lengthAndText ("a;b") + "\x01"
                                   + lengthAndText ("x.m") + "\x00");
}

void versionDocumentSeeds()
{
    const char* t = "version_document";
    const std::string config = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n  <firmware version=\"1.0.1\"/>\n</config>\n";
    writeSeed (t, "config", 0, config);
    writeSeed (t, "server", 0,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOUNDBANK>\n  <CURRENT version=\"1.1\" date=\"2020-01-01\"/>\n"
               "  <PREVIOUS version=\"0.0.1\"/>\n</SOUNDBANK>\n");
    writeSeed (t, "utf8_bom", 0, "\xEF\xBB\xBF" + config);
    std::string utf16 = "\xFF\xFE";
    for (char c : config)
        utf16 += std::string (1, c) + '\0';
    writeSeed (t, "utf16", 0, utf16);
    writeSeed (t, "text_before_child", 0, "<a>text<!-- c --><![CDATA[x]]><b v='1' version='2&amp;3'/></a>");
    writeSeed (t, "doctype_entity", 0, "<!DOCTYPE a [<!ENTITY e \"2.0\">]><a><b version=\"&e;\"/></a>");
    writeSeed (t, "not_xml", 0, "<html><body>404 Not Found</body>");
    writeSeed (t, "built", 1, std::string ("\x08\x05" "1.0.1" "\x02\x00\x03", 10));
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: make_seed_corpus OUTPUT_DIR\n");
        return 2;
    }
    outputDir = argv[1];
    ::mkdir (outputDir.c_str(), 0755);
    fuzzEngineOpen();
    headerSeeds();
    subpacketSeeds();
    fileInfoSeeds();
    shellAnswerSeeds();
    shellParserSeeds();
    versionDocumentSeeds();
    return 0;
}
