// The receiver against a scripted lsz: what a name from the line may become, malformed file
// information, damaged and misplaced data, acknowledgements, the end of the exchange, and
// what a failed receive leaves behind.

#include "tests/support/InstrumentEmulator.h"
#include "tests/support/ZmodemTestFiles.h"
#include "tests/unit/ZmodemFarEnd.h"
#include "zmodem/WindowsFileNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace farend;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace
{
std::string infoFor (const std::string& name, size_t size)
{
    return name + '\0' + std::to_string (size) + " 15306244474 100644 0 1 " + std::to_string (size) + '\0';
}

std::vector<std::string> entriesOf (const std::string& directory)
{
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator (directory))
        names.push_back (entry.path().filename().string());
    std::sort (names.begin(), names.end());
    return names;
}

struct ZmodemReceiverTest : EngineOnPty
{
    TemporaryDirectory outer;
    std::string into = outer.path + "/into";

    void SetUp() override
    {
        EngineOnPty::SetUp();
        fs::create_directory (into);
    }

    std::future<bool> startReceive (std::string directory = {})
    {
        if (directory.empty())
            directory = into;
        return start ([directory] { return zmodemReceiveTo (juce::String (directory), true); });
    }

    // As lsz offers a file: after our ZRINIT, a CRC-32 ZFILE and its information.
    void offer (const std::string& info, bool crc32 = true)
    {
        ASSERT_TRUE (far.awaitHeader (zrinit).has_value());
        far.send (binaryHeader (zfile, 0, crc32) + subpacket (info, 'k', crc32) + "\x11");
    }

    void expectHeader (uint8_t type, uint32_t position)
    {
        auto header = far.nextHeader();
        ASSERT_TRUE (header.has_value()) << "nothing came, expected type " << (int) type;
        EXPECT_EQ (header->format, 'B');
        EXPECT_EQ (header->type, type);
        EXPECT_EQ (header->position(), position) << "type " << (int) type;
    }

    // ZDATA at `from`, the rest of `bytes` in 1024-byte ZCRCG subpackets, the last one ZCRCE,
    // then ZEOF: the way lsz streams.
    void stream (const std::string& bytes, uint32_t from = 0, bool crc32 = true)
    {
        std::string wire = binaryHeader (zdata, from, crc32);
        for (size_t at = from;; at += 1024)
        {
            const bool last = at + 1024 >= bytes.size();
            wire += subpacket (bytes.substr (at, 1024), last ? 'h' : 'i', crc32);
            if (last)
                break;
        }
        far.send (wire + binaryHeader (zeof, (uint32_t) bytes.size(), crc32));
    }

    // ZRINIT after the file, our ZFIN after the sender's, then "OO".
    void finish (bool overAndOut = true)
    {
        expectHeader (zrinit, 0x23000000u);
        far.send (hexHeader (zfin));
        expectHeader (zfin, 0);
        if (overAndOut)
            far.send ("OO");
    }

    void deliver (const std::string& name, const std::string& bytes)
    {
        offer (infoFor (name, bytes.size()));
        expectHeader (zrpos, 0);
        stream (bytes);
        finish();
    }
};
} // namespace

TEST_F (ZmodemReceiverTest, NamesFromTheLineAreNeverPaths)
{
    struct Case { std::string sent, stored; } cases[] = {
        { "../escape.bin", "escape.bin" },
        { "a/b/c.bin", "c.bin" },
        { "..\\..\\w.bin", "w.bin" },
        { "/etc/abs.bin", "abs.bin" },
        { std::string (280, 'd') + "/p.mz", "p.mz" },  // the name field holds 259: the directory part goes first
        { "", "" }, { ".", "" }, { "..", "" }, { "dir/..", "" }, { "x/", "" }, { "up\\..", "" },
    };
    const std::string bytes = randomBytes (100, 1);

    for (auto& c : cases)
    {
        auto call = startReceive();
        if (c.stored.empty())
        {
            offer (infoFor (c.sent, bytes.size()));
            EXPECT_FALSE (result (call)) << c.sent;
            EXPECT_TRUE (errorIs ("ZMD007 File Data is out of spec\n")) << c.sent << ": " << zmodemState.errorText;
            EXPECT_FALSE (far.nextHeader (200).has_value()) << c.sent << ": nothing is asked for a refused name";
            EXPECT_TRUE (entriesOf (into).empty()) << c.sent;
        }
        else
        {
            deliver (c.sent, bytes);
            EXPECT_TRUE (result (call)) << c.sent << ": " << zmodemState.errorText;
            EXPECT_EQ (entriesOf (into), std::vector<std::string> { c.stored }) << c.sent;
            EXPECT_TRUE (readWholeFile (into + "/" + c.stored) == bytes) << c.sent;
            fs::remove (into + "/" + c.stored);
        }
        EXPECT_EQ (entriesOf (outer.path), std::vector<std::string> { "into" }) << c.sent << ": nothing lands outside";
        errorClear();
        far.drain (20);
    }
}

TEST_F (ZmodemReceiverTest, LongNamesAreCutAndDirectoriesTakeOneSeparator)
{
    // Cut to 259 characters, more than this file system allows in one name: the open fails
    // and says which name it tried.
    auto call = startReceive();
    offer (infoFor (std::string (300, 'n'), 10));
    EXPECT_FALSE (result (call));
    EXPECT_TRUE (errorIs ("failed to open file %s: %s\n"));
    const std::string text = zmodemState.errorText;
    EXPECT_NE (text.find (std::string (259, 'n') + ": "), std::string::npos) << text;
    EXPECT_EQ (text.find (std::string (260, 'n')), std::string::npos);
    errorClear();
    far.drain (20);

    // A directory given with its separator does not get a second one.
    call = startReceive (into + "/");
    deliver ("slash.bin", "abc");
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_EQ (entriesOf (into), std::vector<std::string> { "slash.bin" });
    EXPECT_EQ (std::string (zmodemState.recvPath), into + "/slash.bin");
}

TEST_F (ZmodemReceiverTest, FileInformationOutOfSpecWritesNothing)
{
    const std::string text = "3 0 644"s;
    struct Case { const char* what; std::string info; bool accepted; } cases[] = {
        { "no NUL at all", "name.bin", false },
        { "the only NUL is the last byte", "name.bin\0"s, false },
        { "no NUL after the text", "name.bin\0"s + text, false },
        { "text ending at offset 1024", "a\0"s + text + std::string (1021 - text.size() + 1, ' ') + '\0', false },
        { "text ending at offset 1023", "a\0"s + text + std::string (1021 - text.size(), ' ') + '\0', true },
    };
    for (auto& c : cases)
    {
        auto call = startReceive();
        offer (c.info);
        if (c.accepted)
        {
            expectHeader (zrpos, 0);
            stream ("xyz");
            finish();
            EXPECT_TRUE (result (call)) << c.what << ": " << zmodemState.errorText;
            EXPECT_EQ (readWholeFile (into + "/a"), "xyz") << c.what;
            fs::remove (into + "/a");
        }
        else
        {
            EXPECT_FALSE (result (call)) << c.what;
            EXPECT_TRUE (errorIs ("ZMD007 File Data is out of spec\n")) << c.what << ": " << zmodemState.errorText;
        }
        EXPECT_TRUE (entriesOf (into).empty()) << c.what;
        errorClear();
        far.drain (20);
    }
}

TEST_F (ZmodemReceiverTest, DamagedSubpacketIsNotWrittenAndAskedForAgain)
{
    const std::string bytes = randomBytes (3000, 2);
    for (bool crc32 : { true, false })
    {
        auto call = startReceive();
        offer (infoFor ("damaged.bin", bytes.size()), crc32);
        expectHeader (zrpos, 0);
        far.send (binaryHeader (zdata, 0, crc32) + subpacket (bytes.substr (0, 1024), 'i', crc32)
                  + subpacket (bytes.substr (1024, 1024), 'i', crc32, true));
        expectHeader (zrpos, 1024);
        stream (bytes, 1024, crc32);
        finish();
        EXPECT_TRUE (result (call)) << zmodemState.errorText;
        EXPECT_TRUE (readWholeFile (into + "/damaged.bin") == bytes) << (crc32 ? "CRC-32" : "CRC-16");
        far.drain (20);
    }
}

TEST_F (ZmodemReceiverTest, SubpacketsAskingForAnAnswerGetZackOfThePosition)
{
    const std::string bytes = randomBytes (2000, 3);
    auto call = startReceive();
    offer (infoFor ("acked.bin", bytes.size()));
    expectHeader (zrpos, 0);  // the ZFILE information, ended by ZCRCW, is answered by ZRPOS alone

    far.send (binaryHeader (zdata, 0) + subpacket (bytes.substr (0, 1024), 'k'));
    EXPECT_EQ (far.drain (200), hexHeader (zack, 1024)) << "ZACK, hex, no XON";
    far.send (binaryHeader (zdata, 1024) + subpacket (bytes.substr (1024, 500), 'j'));
    EXPECT_EQ (far.drain (200), hexHeader (zack, 1524));
    stream (bytes, 1524);
    finish();
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_TRUE (readWholeFile (into + "/acked.bin") == bytes);
}

TEST_F (ZmodemReceiverTest, ZeofAndZdataAtTheWrongPlace)
{
    const std::string bytes = randomBytes (100, 4);
    auto call = startReceive();
    offer (infoFor ("placed.bin", bytes.size()));
    expectHeader (zrpos, 0);

    // Before any data: a ZEOF or ZDATA elsewhere than asked for gets the ZRPOS again.
    far.send (binaryHeader (zeof, 5));
    expectHeader (zrpos, 0);
    far.send (binaryHeader (zdata, 512) + subpacket (std::string (100, 'w'), 'h'));
    expectHeader (zrpos, 0);

    // In the data: a ZEOF at the wrong place is ignored; the right one ends the file.
    far.send (binaryHeader (zdata, 0) + subpacket (bytes, 'h') + binaryHeader (zeof, 50));
    EXPECT_FALSE (far.nextHeader (300).has_value());
    far.send (binaryHeader (zeof, 100));
    finish();
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_TRUE (readWholeFile (into + "/placed.bin") == bytes) << "nothing of the misplaced frame is written";
}

TEST_F (ZmodemReceiverTest, MissingOverAndOutStillSucceeds)
{
    auto call = startReceive();
    offer (infoFor ("oo.bin", 3));
    expectHeader (zrpos, 0);
    stream ("abc");
    finish (false);
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_EQ (readWholeFile (into + "/oo.bin"), "abc");
}

TEST_F (ZmodemReceiverTest, FailedReceiveClosesItsFile)
{
    auto call = startReceive();
    offer (infoFor ("partial.bin", 5000));
    expectHeader (zrpos, 0);
    // 100 good bytes, then a header with upper-case hex digits, which no state retries.
    std::string bad = hexHeader (zeof, 100);
    std::transform (bad.begin() + 4, bad.begin() + 18, bad.begin() + 4, [] (char c) { return (char) std::toupper (c); });
    far.send (binaryHeader (zdata, 0) + subpacket (std::string (100, 'p'), 'h') + bad);

    EXPECT_FALSE (result (call));
    EXPECT_TRUE (errorIs ("ZMD008 Bad hex character %x received\n")) << zmodemState.errorText;
    EXPECT_EQ (zmodemTransfer.file, nullptr);
    EXPECT_EQ (readWholeFile (into + "/partial.bin"), std::string (100, 'p')) << "closed, so what was written is on disk";
    for (auto& entry : fs::directory_iterator ("/proc/self/fd"))
    {
        std::error_code ignored;
        EXPECT_NE (fs::read_symlink (entry.path(), ignored).string(), into + "/partial.bin") << "still open";
    }
}

TEST_F (ZmodemReceiverTest, SendersThatNeverGetOnEndTheCall)
{
    // ZRQINIT for ever: ten more ZRINITs, then ZMD001.
    {
        auto call = startReceive();
        int invitations = 0;
        while (running (call) && far.awaitHeader (zrinit, 400))
        {
            ++invitations;
            far.send (hexHeader (zrqinit));
        }
        EXPECT_FALSE (result (call));
        EXPECT_TRUE (errorIs ("ZMD001 Remote didn't accept my ZRINIT\n")) << zmodemState.errorText;
        EXPECT_EQ (invitations, 11);
    }
    errorClear();
    far.drain (20);

    // ZFILE for ever in answer to ZRPOS: ten more ZRPOS, then ZMD002.
    {
        auto call = startReceive();
        offer (infoFor ("again.bin", 10));
        int asked = 0;
        while (running (call) && far.awaitHeader (zrpos, 400))
        {
            ++asked;
            far.send (binaryHeader (zfile, 0) + subpacket (infoFor ("again.bin", 10), 'k') + "\x11");
        }
        EXPECT_FALSE (result (call));
        EXPECT_TRUE (errorIs ("ZMD002 Remote failed to respond to my ZRPOS\n")) << zmodemState.errorText;
        EXPECT_EQ (asked, 11);
    }
    errorClear();
    far.drain (20);

    // Frames that never carry a byte.
    {
        auto call = startReceive();
        offer (infoFor ("empty.bin", 10));
        expectHeader (zrpos, 0);
        int frames = 0;
        for (; running (call) && frames < 5000; ++frames)
        {
            far.send (binaryHeader (zdata, 0) + subpacket ("", 'h'));
            if (frames % 20 == 0)
                ::usleep (1000);
        }
        EXPECT_FALSE (result (call)) << "after " << frames << " empty frames";
        EXPECT_TRUE (errorIs ("ZMD002 Remote failed to respond to my ZRPOS\n")) << zmodemState.errorText;
        EXPECT_LT (frames, 5000);
    }
}

namespace
{
// The receiver with the rule it uses on Windows, for one test.
struct WindowsNameRule
{
    WindowsNameRule() { receivedNameRule = whyWindowsCannotStore; }
    ~WindowsNameRule() { receivedNameRule = nullptr; }
};
} // namespace

TEST_F (ZmodemReceiverTest, NamesWindowsCannotStoreAreOrdinaryNamesHere)
{
    for (const char* name : { "AUX.mz", "con.mz", "a:b.mz", "trailing.", "COM1.mz" })
    {
        auto call = startReceive();
        deliver (name, "kept");
        EXPECT_TRUE (result (call)) << name << ": " << zmodemState.errorText;
        EXPECT_EQ (readWholeFile (into + "/" + name), "kept") << name;
        EXPECT_TRUE (zmodemRefusedNames.empty());
        far.drain (20);
    }
}

TEST_F (ZmodemReceiverTest, UnstorableNameIsSkippedTheOthersArriveAndTheReceiveFails)
{
    const WindowsNameRule windows;
    const std::string first = randomBytes (1500, 5), last = randomBytes (700, 6);
    ProgressRecorder progress;
    currentProgressListener = &progress;
    reportTransferProgress = true;
    zmodemExpectedFiles = 3;
    CapturedLog log;

    auto call = startReceive();
    offer (infoFor ("one.mz", first.size()));
    expectHeader (zrpos, 0);
    stream (first);
    offer (infoFor ("con.mz", 100));
    expectHeader (zskip, 0);
    // A sender that missed the ZSKIP offers the same file again: skipped again, listed once.
    far.send (binaryHeader (zfile, 0) + subpacket (infoFor ("con.mz", 100), 'k') + "\x11");
    expectHeader (zskip, 0);
    far.send (binaryHeader (zfile, 0) + subpacket (infoFor ("two.mz", last.size()), 'k') + "\x11");
    expectHeader (zrpos, 0);
    const size_t stepsBeforeTheLastFile = progress.steps.size();  // the receiver waits for data now
    stream (last);
    finish();

    EXPECT_FALSE (result (call)) << "a receive that left a file behind is no success";
    EXPECT_TRUE (errorIs ("failed to open file %s: %s\n"));
    EXPECT_EQ (std::string (zmodemState.errorText), "failed to open file con.mz: " + std::string (std::strerror (EINVAL)) + "\n");
    ASSERT_EQ (zmodemRefusedNames.size(), 1u);
    EXPECT_EQ (zmodemRefusedNames[0].name, "con.mz");
    EXPECT_EQ (std::string (zmodemRefusedNames[0].reason), whyWindowsCannotStore ("con.mz"));
    EXPECT_EQ (entriesOf (into), (std::vector<std::string> { "one.mz", "two.mz" })) << "nothing written under the refused name";
    EXPECT_TRUE (readWholeFile (into + "/one.mz") == first);
    EXPECT_TRUE (readWholeFile (into + "/two.mz") == last);
    EXPECT_EQ (progress.steps, (std::vector<double> { 1.0 / 3, 2.0 / 3, 1.0 }));
    EXPECT_EQ (stepsBeforeTheLastFile, 2u) << "the file offered twice counts once";
    EXPECT_NE (log.finish().find ("con.mz cannot be stored here: " + std::string (whyWindowsCannotStore ("con.mz"))), std::string::npos);

    // The next receive starts with an empty list.
    errorClear();
    far.drain (20);
    call = startReceive();
    deliver ("three.mz", "x");
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_TRUE (zmodemRefusedNames.empty());
}

TEST_F (ZmodemReceiverTest, PathTheCallerChoseIsNotJudgedByTheSentName)
{
    const WindowsNameRule windows;
    const std::string target = into + "/chosen.bin";
    auto call = start ([target] { return zmodemReceiveTo (juce::String (target), false); });
    deliver ("nul.mz", "to the chosen path");
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_EQ (readWholeFile (target), "to the chosen path");
}
