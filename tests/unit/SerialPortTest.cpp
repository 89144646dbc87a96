#include "device/SerialPort.h"
#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
struct SerialPortTest : ::testing::Test
{
    void SetUp() override { errorClear(); }

    void TearDown() override
    {
        if (serialPortHandle != INVALID_SERIAL_HANDLE)
            closeSerialPort();
        errorClear();
        ::unsetenv ("VORLEN_SERIAL_PORTS");
    }
};

std::string allByteValues()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back ((char) i);
    return bytes;
}
} // namespace

TEST_F (SerialPortTest, ListsConfiguredDevicesInOrderAndSkipsMissingOnes)
{
    PtyPair first, second;
    std::string list = second.path + ":/dev/vorlen-no-such-port:" + first.path;
    ::setenv ("VORLEN_SERIAL_PORTS", list.c_str(), 1);

    listSerialPorts();

    EXPECT_EQ (portCount, 2);
    EXPECT_EQ (nextSerialPortName(), second.path);
    EXPECT_EQ (nextSerialPortName(), first.path);
    EXPECT_EQ (nextSerialPortName(), "");

    listSerialPorts();
    EXPECT_EQ (nextSerialPortName(), second.path) << "listing again rewinds the cursor";
}

TEST_F (SerialPortTest, EmptyConfiguredListGivesNoPorts)
{
    ::setenv ("VORLEN_SERIAL_PORTS", "", 1);
    listSerialPorts();
    EXPECT_EQ (portCount, 0);
    EXPECT_EQ (nextSerialPortName(), "");
}

TEST_F (SerialPortTest, SecondOpenIsRefusedEvenForRoot)
{
    PtyPair line;
    openSerialPort (line.path.c_str());
    ASSERT_FALSE (errorPending());
    const SerialHandle held = serialPortHandle;

    CapturedLog log;
    openSerialPort (line.path.c_str());
    std::string text = log.finish();

    EXPECT_TRUE (errorPending());
    EXPECT_TRUE (errorIs ("COM: A comms error has occured\n"));
    EXPECT_EQ (serialPortHandle, INVALID_SERIAL_HANDLE);
    EXPECT_NE (text.find ("errorSet : COM: A comms error has occured\n\n"), std::string::npos) << text;
    EXPECT_NE (text.find ("rc from CreateFile() is 16\n"), std::string::npos) << text;

    // Another process is refused too, while we hold it.
    errorClear();
    pid_t child = ::fork();
    if (child == 0)
    {
        std::fclose (stdout);
        openSerialPort (line.path.c_str());
        ::_exit (errorPending() ? 3 : 0);
    }
    int status = 0;
    ::waitpid (child, &status, 0);
    EXPECT_EQ (WEXITSTATUS (status), 3);

    serialPortHandle = held;
    closeSerialPort();
    EXPECT_FALSE (errorPending());

    openSerialPort (line.path.c_str());
    EXPECT_FALSE (errorPending()) << "closing releases the port";
}

TEST_F (SerialPortTest, ReadNeverWaitsAndTakesOnlyWhatIsAsked)
{
    PtyPair line;
    openSerialPort (line.path.c_str());
    ASSERT_FALSE (errorPending());

    char buffer[64];
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ (readSerialPort (buffer, 10), 0);
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT (std::chrono::duration_cast<std::chrono::milliseconds> (took).count(), 50);

    line.writeFar ("abcdefghijklmnopqrstuvwxy");
    ::usleep (50 * 1000);
    EXPECT_EQ (readSerialPort (buffer, 10), 10);
    EXPECT_EQ (std::string (buffer, 10), "abcdefghij");
    EXPECT_EQ (readSerialPort (buffer, 64), 15);
    EXPECT_EQ (std::string (buffer, 15), "klmnopqrstuvwxy");
    EXPECT_EQ (readSerialPort (buffer, 64), 0);
    EXPECT_FALSE (errorPending());
}

TEST_F (SerialPortTest, EveryByteValueCrossesUntranslatedBothWays)
{
    PtyPair line;
    openSerialPort (line.path.c_str());
    ASSERT_FALSE (errorPending());
    const std::string bytes = allByteValues() + "\r\n\n\r";

    EXPECT_EQ (writeSerialPort (bytes.data(), (int) bytes.size()), (int) bytes.size());
    EXPECT_EQ (line.readFar (bytes.size()), bytes);

    line.writeFar (bytes);
    ::usleep (50 * 1000);
    std::string got;
    char buffer[512];
    for (int n; (n = readSerialPort (buffer, sizeof (buffer))) > 0;)
        got.append (buffer, (size_t) n);
    EXPECT_EQ (got, bytes);
    EXPECT_EQ (line.readFarAvailable (50), "") << "nothing is echoed back";
}

TEST_F (SerialPortTest, LineThatGoesAwayFailsReadsAndWrites)
{
    auto* line = new PtyPair();
    openSerialPort (line->path.c_str());
    ASSERT_FALSE (errorPending());
    delete line;

    CapturedLog log;
    char buffer[16];
    EXPECT_EQ (readSerialPort (buffer, sizeof (buffer)), 0);
    EXPECT_TRUE (errorIs ("COM: A comms error has occured\n"));
    EXPECT_EQ (writeSerialPort ("x", 1), 0);
    std::string text = log.finish();
    EXPECT_NE (text.find ("rc from ClearCommError is 5\n"), std::string::npos) << text;
    EXPECT_NE (text.find ("rc from WriteFile is 5\n"), std::string::npos) << text;
}

TEST_F (SerialPortTest, FarEndThatStopsReadingFailsTheWriteInsteadOfHanging)
{
    PtyPair line;
    openSerialPort (line.path.c_str());
    ASSERT_FALSE (errorPending());
    const std::string many (1 << 20, 'x');

    CapturedLog log;
    const auto start = std::chrono::steady_clock::now();
    const int written = writeSerialPort (many.data(), (int) many.size());
    std::fprintf (stderr, "write gave up after %lld ms\n", (long long) std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count());
    EXPECT_GT (written, 0) << "the line takes what fits";
    EXPECT_LT (written, (int) many.size());
    EXPECT_TRUE (errorIs ("COM: A comms error has occured\n"));
    const std::string text = log.finish();
    EXPECT_NE (text.find ("the line took nothing for 10000 ms\n"), std::string::npos);
    EXPECT_NE (text.find ("only wrote " + std::to_string (written) + " bytes instead of 1048576\n"), std::string::npos);
}

TEST_F (SerialPortTest, ClosingAPortThatNeverOpenedLogsBothSteps)
{
    serialPortHandle = INVALID_SERIAL_HANDLE;
    CapturedLog log;
    closeSerialPort();
    std::string text = log.finish();
    EXPECT_NE (text.find ("rc from GetCommState is 9\n"), std::string::npos) << text;
    EXPECT_NE (text.find ("rc from CloseHandle is 9\n"), std::string::npos) << text;
    EXPECT_TRUE (errorIs ("COM: A comms error has occured\n"));
}
