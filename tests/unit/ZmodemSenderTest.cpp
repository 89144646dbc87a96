// The sender against a scripted receiver: repositioning while streaming and after ZEOF,
// refusals (ZRINIT, ZSKIP, cancel), a missing file, and a receiver that never lets it on.

#include "tests/support/InstrumentEmulator.h"
#include "tests/support/ZmodemTestFiles.h"
#include "tests/unit/ZmodemFarEnd.h"
#include "zmodem/ZmodemFraming.h"

#include <algorithm>
#include <thread>

using namespace farend;
using namespace std::string_literals;

namespace
{
const std::string zrinitFlags = "\0\0\0\x23"s;

struct ZmodemSenderTest : EngineOnPty
{
    TemporaryDirectory local;

    std::string localFile (const std::string& name, const std::string& bytes)
    {
        const std::string path = local.path + "/" + name;
        writeWholeFile (path, bytes);
        return path;
    }

    std::future<bool> startSend (const std::string& path)
    {
        return start ([path] { return zmodemSendFile (path.c_str()); });
    }

    // "rz\r", our ZRQINIT, then the ZRINIT that invites the file.
    void invite()
    {
        auto rqinit = far.awaitHeader (zrqinit);
        ASSERT_TRUE (rqinit.has_value());
        EXPECT_EQ (far.skipped.substr (0, 3), "rz\r");
        far.send (hexHeader (zrinit, zrinitFlags));
    }

    // The ZFILE header and its information subpacket.
    std::string takeFileOffer()
    {
        auto header = far.awaitHeader (zfile);
        EXPECT_TRUE (header.has_value());
        if (! header)
            return {};
        EXPECT_EQ (header->format, 'A');
        EXPECT_EQ (header->data[3], 1) << "ZCBIN";
        Subpacket info = far.nextSubpacket();
        EXPECT_TRUE (info.crcOk);
        EXPECT_EQ (info.end, 'k');
        return info.payload;
    }

    // One ZDATA frame from its header on, written into `file` at its positions; the frame
    // ends after a subpacket other than ZCRCG. Returns the frame's subpacket ends.
    std::string takeFrame (const Header& zdataHeader, std::string& file)
    {
        EXPECT_EQ (zdataHeader.type, zdata);
        size_t at = zdataHeader.position();
        std::string ends;
        for (;;)
        {
            Subpacket packet = far.nextSubpacket();
            EXPECT_TRUE (packet.crcOk) << "at " << at;
            if (! packet.crcOk)
                return ends;
            ends += packet.end;
            if (file.size() < at + packet.payload.size())
                file.resize (at + packet.payload.size());
            file.replace (at, packet.payload.size(), packet.payload);
            at += packet.payload.size();
            if (packet.end != 'i')
                return ends;
        }
    }

    // ZFIN answered by ZFIN, then the sender's "OO".
    void finishExchange()
    {
        ASSERT_TRUE (far.awaitHeader (zfin).has_value());
        far.send (hexHeader (zfin));
        EXPECT_EQ (far.drain (200), "OO");
    }
};

std::vector<std::string> linesStartingWith (const std::string& log, const std::string& prefix)
{
    std::vector<std::string> lines;
    for (auto& line : engineLogLines (log))
        if (line.rfind (prefix, 0) == 0)
            lines.push_back (line);
    return lines;
}
} // namespace

TEST_F (ZmodemSenderTest, RepositionsWhileStreamingAndAfterZeof)
{
    // Larger than the pseudo-terminal holds: the sender is still streaming when ZRPOS comes.
    const std::string bytes = randomBytes (256 << 10, 5);
    const std::string path = localFile ("big.bin", bytes);
    ProgressRecorder progress;
    currentProgressListener = &progress;
    reportTransferProgress = true;
    CapturedLog log;
    auto call = startSend (path);

    invite();
    const std::string info = takeFileOffer();
    EXPECT_EQ (info, "big.bin\0"s + std::to_string (bytes.size()) + " 0 644 0\0"s);
    far.send (hexHeader (zrpos, 0));

    std::string file;
    auto header = far.nextHeader();
    ASSERT_TRUE (header && header->type == zdata && header->position() == 0);
    for (int i = 0; i < 2; ++i)
    {
        Subpacket packet = far.nextSubpacket();
        EXPECT_TRUE (packet.crcOk && packet.end == 'i' && packet.payload.size() == 1024);
        file += packet.payload;
    }
    far.send (hexHeader (zrpos, 1024));

    // The subpackets already on their way are skipped; the next header is the new ZDATA.
    header = far.nextHeader();
    ASSERT_TRUE (header.has_value());
    EXPECT_EQ (header->type, zdata) << "a ZRPOS while streaming is taken at once, before ZEOF";
    EXPECT_EQ (header->position(), 1024u);
    const std::string ends = takeFrame (*header, file);
    EXPECT_EQ (ends.front(), 'i') << "streaming goes on with ZCRCG";
    EXPECT_EQ (ends.back(), 'h');

    header = far.nextHeader();
    ASSERT_TRUE (header && header->type == zeof);
    EXPECT_EQ (header->position(), bytes.size());
    far.send (hexHeader (zrpos, 200000));

    header = far.nextHeader();
    ASSERT_TRUE (header && header->type == zdata && header->position() == 200000u);
    takeFrame (*header, file);
    header = far.nextHeader();
    ASSERT_TRUE (header && header->type == zeof);
    EXPECT_EQ (header->position(), bytes.size());
    far.send (hexHeader (zrinit, zrinitFlags));
    finishExchange();

    EXPECT_TRUE (result (call)) << zmodemState.errorText;
    EXPECT_TRUE (file == bytes) << "what was sent after each seek is the file's own data";
    const std::vector<std::string> seeks { "seeking to offset 0", "seeking to offset 1024", "seeking to offset 200000" };
    EXPECT_EQ (linesStartingWith (log.finish(), "seeking"), seeks);
    ASSERT_FALSE (progress.steps.empty());
    EXPECT_EQ (progress.steps.front(), 0.0);
    EXPECT_LE (*std::max_element (progress.steps.begin(), progress.steps.end()), 1.0);
}

TEST_F (ZmodemSenderTest, ReceiverAnsweringZfileWithZrinitGetsNoDataAndTheFileIsClosed)
{
    const std::string path = localFile ("refused.bin", randomBytes (3000, 6));
    CapturedLog log;
    auto call = startSend (path);
    invite();

    int offers = 0;
    for (;;)
    {
        auto header = far.nextHeader (3000);
        ASSERT_TRUE (header.has_value()) << "the sender went quiet";
        ASSERT_NE (header->type, zdata) << "no data without a ZRPOS";
        if (header->type == zfin)
            break;
        if (header->type == zfile)
        {
            ++offers;
            far.nextSubpacket();
            far.send (hexHeader (zrinit, zrinitFlags));
        }
    }
    far.send (hexHeader (zfin));
    EXPECT_EQ (far.drain (200), "OO");

    EXPECT_TRUE (result (call)) << "the exchange itself ended well: " << zmodemState.errorText;
    EXPECT_GT (offers, 1) << "a ZRINIT after ZFILE is a refusal: the ZFILE goes again";
    EXPECT_LE (offers, 10);
    EXPECT_EQ (zmodemTransfer.file, nullptr);
    const std::string text = log.finish();
    EXPECT_EQ (linesStartingWith (text, "closing read file").size(), 1u);
    EXPECT_TRUE (linesStartingWith (text, "seeking").empty());
}

TEST_F (ZmodemSenderTest, ZskipEndsTheFileAndOnlyTheLastPathComponentIsOffered)
{
    // Both separators in one path: the name is what follows the later of them.
    ASSERT_EQ (std::system (("mkdir -p '" + local.path + "/sub'").c_str()), 0);
    const std::string path = localFile ("sub/odd\\name.bin", "12345");
    auto call = startSend (path);
    invite();
    EXPECT_EQ (takeFileOffer(), "name.bin\0" "5 0 644 0\0"s);
    far.send (hexHeader (zskip));

    auto header = far.nextHeader();
    ASSERT_TRUE (header.has_value());
    EXPECT_EQ (header->type, zfin) << "nothing is sent for a skipped file";
    far.send (hexHeader (zfin));
    EXPECT_EQ (far.drain (200), "OO");
    EXPECT_TRUE (result (call)) << zmodemState.errorText;
}

TEST_F (ZmodemSenderTest, CancelAndMissingFileFailWithoutFurtherExchange)
{
    const std::string abortSequence = std::string (8, '\x18') + std::string (10, '\x08');
    {
        CapturedLog log;
        auto call = startSend (localFile ("c.bin", "x"));
        ASSERT_TRUE (far.awaitHeader (zrqinit).has_value());
        far.send (hexHeader (0xFE));
        EXPECT_FALSE (result (call));
        EXPECT_TRUE (errorIs ("ZMD010 Received cancel signal from remote\n"));
        EXPECT_EQ (far.drain(), abortSequence) << "no ZFILE and no ZFIN after a cancel, only the abort";
        EXPECT_TRUE (linesStartingWith (log.finish(), "opening file").empty());
    }
    errorClear();
    {
        auto call = startSend (local.path + "/not-there.bin");
        invite();
        EXPECT_FALSE (result (call));
        EXPECT_TRUE (errorIs ("failed to open file %s: %s\n")) << zmodemState.errorText;
        EXPECT_EQ (far.drain(), abortSequence) << "a file that cannot be opened ends the call without ZFIN, and the far end's rz with it";
    }
}

TEST_F (ZmodemSenderTest, ReceiverThatNeverLetsItOnEndsTheCall)
{
    const std::string path = localFile ("loop.bin", randomBytes (4096, 7));
    auto call = startSend (path);
    invite();
    takeFileOffer();
    far.send (hexHeader (zrpos, 0));

    // Reads on until the call ends, so that the sender is never held up by a full line.
    int asked = 1;
    while (running (call))
    {
        auto header = far.nextHeader (500);
        if (header && (header->type == zdata || header->type == zeof) && asked < 1000)
        {
            far.send (hexHeader (zrpos, 0));
            ++asked;
        }
    }
    EXPECT_FALSE (result (call)) << "gave up after " << asked << " ZRPOS";
    EXPECT_TRUE (errorIs ("ZMD009 Timeout\n")) << zmodemState.errorText;
    EXPECT_GE (asked, 100);
    EXPECT_LT (asked, 1000);
    EXPECT_EQ (zmodemTransfer.file, nullptr) << "the sender closes its file when it fails";
}

// The poll after each subpacket returns at once when nothing waits; but once a header has
// begun it waits for the rest, or a ZRPOS split across reads would be lost.
TEST_F (ZmodemSenderTest, PollTakesAHeaderThatArrivesInPieces)
{
    const std::string wire = hexHeader (zrpos, 0x1234);
    far.send (wire.substr (0, 6));
    ::usleep (20 * 1000);
    std::thread rest ([&] {
        ::usleep (30 * 1000);
        far.send (wire.substr (6));
    });
    pollHeader();
    rest.join();
    EXPECT_FALSE (errorPending()) << zmodemState.errorText;
    EXPECT_EQ (zmodemState.headerType, zrpos);
    EXPECT_EQ (headerPosition(), 0x1234u);
    EXPECT_EQ (zmodemState.blockingRead, 1);

    errorClear();
    pollHeader();
    EXPECT_TRUE (errorPending() && errorIs ("ZMD009 Timeout\n")) << "nothing waiting: at once";
}
