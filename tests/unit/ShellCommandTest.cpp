#include "device/SerialPort.h"
#include "device/ShellChannel.h"
#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace
{
struct ShellCommandTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        openSerialPort (line.path.c_str());
        ASSERT_FALSE (errorPending());
    }

    void TearDown() override
    {
        closeSerialPort();
        errorClear();
        currentDeviceDirectory = {};
    }

    PtyPair line;
};
} // namespace

TEST_F (ShellCommandTest, CdCommandsMoveTheExpectedDirectory)
{
    sendShellCommand ("cd /usr/ap/");
    EXPECT_EQ (currentDeviceDirectory, "/usr/ap");
    sendShellCommand ("cd");
    EXPECT_EQ (currentDeviceDirectory, "/usr/ap") << "a bare cd changes nothing";
    sendShellCommand ("cd /usr//");
    EXPECT_EQ (currentDeviceDirectory, "/usr");
    sendShellCommand ("cd /");
    EXPECT_EQ (currentDeviceDirectory, "");
    sendShellCommand ("cd x");
    EXPECT_EQ (currentDeviceDirectory, "x");
    EXPECT_EQ (line.readFarAvailable (20), "cd /usr/ap/\r\ncd\r\ncd /usr//\r\ncd /\r\ncd x\r\n");
}

TEST_F (ShellCommandTest, AnswerIsCutAtEchoAndBothPrompts)
{
    sendShellCommand ("cd /usr/ap");
    line.readFarAvailable (20);
    // Stale input is drained before a command, so the far side answers only once it has seen it.
    std::string seen;
    std::thread far ([this, &seen]
    {
        seen = line.readFar (4, 1000);
        line.writeFar ("ls\r\nalpha.mz\r\nbeta.mz\r\n/usr/ap # /usr/ap # ");
    });

    bool ok = false;
    CapturedLog log;
    EXPECT_EQ (runShellCommand ("ls", false, &ok), "alpha.mzbeta.mz");
    far.join();
    EXPECT_TRUE (ok);
    EXPECT_EQ (log.finish().find ("error"), std::string::npos);
    EXPECT_EQ (seen, "ls\r\n");
}

TEST_F (ShellCommandTest, StaleInputIsDrainedBeforeTheCommand)
{
    currentDeviceDirectory = "/usr/ap";
    line.writeFar ("left over from before\r\n");
    ::usleep (30 * 1000);
    // The far side answers only once it has seen the command.
    std::thread far ([this]
    {
        line.readFar (5, 1000);
        line.writeFar ("pwd\r\n/usr/ap\r\n/usr/ap # /usr/ap # ");
    });
    EXPECT_EQ (runShellCommand ("pwd", false), "/usr/ap");
    far.join();
}

TEST_F (ShellCommandTest, Utf8IsReadAsTextAndOtherHighBytesAsQuestionMarks)
{
    line.writeFar ("caf\xc3\xa9");
    ::usleep (30 * 1000);
    EXPECT_EQ (readShellOutput(), juce::String::fromUTF8 ("caf\xc3\xa9"));
    line.writeFar (std::string ("abc") + "\x80" + "def");
    ::usleep (30 * 1000);
    EXPECT_EQ (readShellOutput(), "abc?def");
    line.writeFar (std::string ("gh") + '\0' + "ij");
    ::usleep (30 * 1000);
    EXPECT_EQ (readShellOutput(), "gh");
}

TEST_F (ShellCommandTest, LongAnswerIsReadInPiecesUntilAShortOne)
{
    std::string big (3000, 'x');
    line.writeFar (big);
    ::usleep (50 * 1000);
    EXPECT_EQ (readShellOutput().length(), 3000);
    line.writeFar (big);
    ::usleep (50 * 1000);
    drainShellInput();
    EXPECT_EQ (readShellOutput(), "");
}

TEST_F (ShellCommandTest, WaitForThePromptThatFollowsATransfer)
{
    currentDeviceDirectory = "/usr/ap";
    std::thread far ([this]
    {
        ::usleep (200 * 1000);
        line.writeFar ("\r/usr/ap # ");
    });
    EXPECT_TRUE (waitForShellPrompt (2000));
    far.join();

    line.writeFar ("rz waiting to receive.");
    EXPECT_FALSE (waitForShellPrompt (300)) << "no prompt: the wait ends at its limit";
}
