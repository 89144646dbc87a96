// Our engine against the instrument's real rz and lsz, through the emulator's relay.

#include "device/ShellChannel.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
struct ZmodemInteropTest : ::testing::Test
{
    static inline std::unique_ptr<InstrumentEmulator> instrument;
    static inline std::unique_ptr<TemporaryDirectory> local;
    static inline int serial = 0;

    static void SetUpTestSuite()
    {
        instrument = std::make_unique<InstrumentEmulator>();
        local = std::make_unique<TemporaryDirectory>();
        errorClear();
        zmodemSetDefaults();
        ASSERT_TRUE (zmodemOpen (instrument->port().c_str()));
        runShellCommand ("cd /tmp", false);
    }

    static void TearDownTestSuite()
    {
        zmodemClose();
        errorClear();
        instrument.reset();
        local.reset();
    }

    void TearDown() override
    {
        zmodemExpectedFiles = 0;
        reportTransferProgress = false;
        currentProgressListener = nullptr;
    }

    // lrzsz flushes its input as it exits, so a command typed before the shell is back is lost,
    // as on the instrument; the application always talks to the shell between transfers.
    static void waitForShell()
    {
        for (int attempt = 0; attempt < 30; ++attempt)
        {
            bool ok = false;
            runShellCommand ("cd /tmp", false, &ok);
            if (ok)
                return;
        }
        ADD_FAILURE() << "the shell did not come back after the transfer";
    }

    // rz refuses a name that exists: every file gets its own.
    static std::string freshName (const char* suffix = ".bin") { return "f" + std::to_string (++serial) + suffix; }

    static bool sendAndCompare (const std::string& bytes)
    {
        const std::string name = freshName();
        writeWholeFile (local->path + "/" + name, bytes);
        const bool ok = zmodemSendFile ((local->path + "/" + name).c_str());
        EXPECT_TRUE (ok) << zmodemState.errorText;
        waitForShell();
        const std::string arrived = readWholeFile (instrument->instrumentTmp() + "/" + name);
        EXPECT_EQ (arrived.size(), bytes.size()) << name;
        return ok && arrived == bytes;
    }

    static bool receiveAndCompare (const std::string& bytes)
    {
        const std::string name = freshName();
        writeWholeFile (instrument->instrumentTmp() + "/" + name, bytes);
        sendShellCommand (juce::String ("lsz /tmp/") + name);
        const bool ok = zmodemReceiveTo (juce::String (local->path), true);
        EXPECT_TRUE (ok) << zmodemState.errorText;
        waitForShell();
        return ok && readWholeFile (local->path + "/" + name) == bytes;
    }
};

const size_t interestingSizes[] = { 0, 1, 1023, 1024, 1025, 2048, 1 << 20 };
} // namespace

TEST_F (ZmodemInteropTest, SendToRzEverySize)
{
    for (size_t size : interestingSizes)
        EXPECT_TRUE (sendAndCompare (randomBytes (size, (unsigned) size))) << size;
    EXPECT_TRUE (sendAndCompare (everyByteValue (64))) << "every byte value";
}

TEST_F (ZmodemInteropTest, ReceiveFromLszEverySize)
{
    for (size_t size : interestingSizes)
        EXPECT_TRUE (receiveAndCompare (randomBytes (size, (unsigned) size + 7))) << size;
    EXPECT_TRUE (receiveAndCompare (everyByteValue (64))) << "every byte value";
}

TEST_F (ZmodemInteropTest, SixteenMebibytesBothWays)
{
    const std::string bytes = randomBytes (16u << 20, 16);
    EXPECT_TRUE (sendAndCompare (bytes));
    EXPECT_TRUE (receiveAndCompare (bytes));
}

TEST_F (ZmodemInteropTest, ManyPresetsInOneReceiveWithProgress)
{
    for (int count : { 2, 20 })
    {
        TemporaryDirectory into;
        const std::string folder = instrument->instrumentTmp() + "/presets" + std::to_string (count);
        ASSERT_EQ (std::system (("mkdir -p '" + folder + "'").c_str()), 0);
        for (int i = 0; i < count; ++i)
            writeWholeFile (folder + "/p" + std::to_string (i) + ".mz", randomBytes (300 + (size_t) i * 97, (unsigned) i));

        ProgressRecorder progress;
        currentProgressListener = &progress;
        reportTransferProgress = true;
        zmodemExpectedFiles = count;
        sendShellCommand (juce::String ("lsz /tmp/presets") + juce::String (count) + "/*.mz");
        ASSERT_TRUE (zmodemReceiveTo (juce::String (into.path), true)) << zmodemState.errorText;
        waitForShell();

        std::vector<double> expected;
        for (int i = 1; i <= count; ++i)
        {
            expected.push_back ((double) i / count);
            const std::string name = "/p" + std::to_string (i - 1) + ".mz";
            EXPECT_EQ (readWholeFile (into.path + name), readWholeFile (folder + name)) << name;
        }
        EXPECT_EQ (progress.steps, expected);
    }
}

TEST_F (ZmodemInteropTest, CleanTransfersLeaveExactlyTheirLogLines)
{
    const std::string name = freshName();
    const std::string path = local->path + "/" + name;
    writeWholeFile (path, randomBytes (1500, 3));
    writeWholeFile (instrument->instrumentTmp() + "/" + name + ".back", randomBytes (1500, 4));

    CapturedLog log;
    ASSERT_TRUE (zmodemSendFile (path.c_str()));
    const int sendTimeouts = zmodemTimeoutCount;
    waitForShell();
    sendShellCommand (juce::String ("lsz /tmp/") + name + ".back");
    ASSERT_TRUE (zmodemReceiveTo (juce::String (local->path), true));
    const int receiveTimeouts = zmodemTimeoutCount;
    waitForShell();

    const std::vector<std::string> expected {
        "opening file " + path, "seeking to offset 0", "closing read file",
        "TimeOut Number : " + std::to_string (sendTimeouts),
        "opening file " + name + ".back", "closing write file",
        "TimeOut Number : " + std::to_string (receiveTimeouts),
    };
    EXPECT_EQ (engineLogLines (log.finish()), expected);
    EXPECT_GT (sendTimeouts, 0) << "every empty poll while streaming counts";
}
