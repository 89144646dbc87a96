#include "device/SerialPort.h"
#include "device/ShellChannel.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
struct ProbeTest : ::testing::Test
{
    void TearDown() override
    {
        if (serialPortHandle != INVALID_SERIAL_HANDLE)
            zmodemClose();
        errorClear();
        ::unsetenv ("VORLEN_SERIAL_PORTS");
        instrumentPresent = false;
        currentDeviceDirectory = {};
    }
};

bool canLock (const std::string& path)
{
    int fd = ::open (path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool free = ::flock (fd, LOCK_EX | LOCK_NB) == 0;
    ::close (fd);
    return free;
}

size_t countOf (const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find (part); at != std::string::npos; at = text.find (part, at + 1))
        ++n;
    return n;
}

long long millisecondsOf (const std::function<void()>& work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();
}
} // namespace

TEST_F (ProbeTest, SkipsDeadPortAndOtherDeviceAndHoldsTheInstrument)
{
    InstrumentEmulator dead ({ "--face", "dead" });
    InstrumentEmulator other ({ "--face", "other" });
    InstrumentEmulator vorlen ({ "--serial", "VRL0815" });
    const std::string ports = dead.port() + ":" + other.port() + ":" + vorlen.port();
    ::setenv ("VORLEN_SERIAL_PORTS", ports.c_str(), 1);

    CapturedLog log;
    bool found = false;
    const long long took = millisecondsOf ([&] { found = probeInstrument(); });
    const std::string text = log.finish();

    ASSERT_TRUE (found) << text;
    EXPECT_TRUE (isInstrumentConnected());
    EXPECT_EQ (currentDeviceDirectory, "/usr/ap");
    EXPECT_EQ (instrumentPortName, juce::String (vorlen.port())) << "the port kept, not the last one tried";
    EXPECT_EQ (instrumentSerialNumber, "VRL0815");
    EXPECT_EQ (heldSerialPorts, 0) << "a dead or foreign port is not a held one";
    EXPECT_NE (serialPortHandle, INVALID_SERIAL_HANDLE);
    EXPECT_FALSE (canLock (vorlen.port())) << "the instrument's port stays held";
    EXPECT_TRUE (canLock (dead.port()));
    EXPECT_TRUE (canLock (other.port()));

    for (auto* emulator : { &dead, &other, &vorlen })
        EXPECT_EQ (countOf (text, "Serial Port : " + emulator->port() + "\n"), 1u) << text;
    EXPECT_NE (text.find ("   suffix error : suffix : /usr/ap # /usr/ap #  (command : cd /usr/ap -:- answer : )\n"), std::string::npos) << text;
    EXPECT_NE (text.find ("   prefix error :prefix : cd /usr/ap (answer : )\n"), std::string::npos) << text;
    EXPECT_EQ (countOf (text, "Good format :\n"), 1u) << text;
    EXPECT_NE (text.find ("Good format :\n   Line 0 :"), std::string::npos) << text;
    EXPECT_NE (text.find ("SN : VRL0815"), std::string::npos) << text;
    EXPECT_EQ (vorlen.commands(), (std::vector<std::string> { "cd /usr/ap", "read_mac_sn" }));

    std::fprintf (stderr, "probe over dead, other device and instrument took %lld ms\n", took);
}

TEST_F (ProbeTest, TakesAboutAQuarterSecondPerForeignPortAndHalfOnTheInstrument)
{
    InstrumentEmulator dead ({ "--face", "dead" });
    InstrumentEmulator vorlen;

    ::setenv ("VORLEN_SERIAL_PORTS", dead.port().c_str(), 1);
    CapturedLog log;
    const long long deadMs = millisecondsOf ([] { EXPECT_FALSE (probeInstrument()); });
    ::setenv ("VORLEN_SERIAL_PORTS", vorlen.port().c_str(), 1);
    const long long vorlenMs = millisecondsOf ([] { EXPECT_TRUE (probeInstrument()); });
    log.finish();

    std::fprintf (stderr, "probe: non-instrument port %lld ms, instrument %lld ms\n", deadMs, vorlenMs);
    EXPECT_GE (deadMs, 250);
    EXPECT_GE (vorlenMs, 500);
}

TEST_F (ProbeTest, PortHeldByAnotherProgramIsSkippedWithTheOpenFailureLogged)
{
    InstrumentEmulator vorlen;
    int holder = ::open (vorlen.port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE (holder, 0);
    ASSERT_EQ (::flock (holder, LOCK_EX | LOCK_NB), 0);
    ::setenv ("VORLEN_SERIAL_PORTS", vorlen.port().c_str(), 1);

    CapturedLog log;
    EXPECT_FALSE (probeInstrument());
    const std::string text = log.finish();
    ::close (holder);

    EXPECT_FALSE (isInstrumentConnected());
    EXPECT_EQ (heldSerialPorts, 1);
    EXPECT_EQ (instrumentPortName, "");
    EXPECT_NE (text.find ("rc from CreateFile() is 16\n"), std::string::npos) << text;
    EXPECT_TRUE (vorlen.commands().empty());
}

TEST_F (ProbeTest, NoPortsAtAllFindsNothing)
{
    ::setenv ("VORLEN_SERIAL_PORTS", "/dev/vorlen-none-here", 1);
    CapturedLog log;
    EXPECT_FALSE (probeInstrument());
    EXPECT_EQ (log.finish().find ("Serial Port"), std::string::npos);
}

namespace
{
struct ShellChannelTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        ASSERT_TRUE (zmodemOpen (vorlen.port().c_str()));
        runShellCommand ("cd /usr/ap", false);
    }

    void TearDown() override
    {
        zmodemClose();
        errorClear();
        currentDeviceDirectory = {};
    }

    InstrumentEmulator vorlen;
};
} // namespace

TEST_F (ShellChannelTest, ListingOnSeparateLinesComesBackRunTogether)
{
    bool ok = false;
    EXPECT_EQ (runShellCommand ("echo first.mz; echo second.mz", false, &ok), "first.mzsecond.mz");
    EXPECT_TRUE (ok);
}

TEST_F (ShellChannelTest, EchoOnlyGivesEmptyResultAndSuffixError)
{
    ASSERT_EQ (vorlen.control ("no-prompt"), "OK\n");
    bool ok = true;
    CapturedLog log;
    EXPECT_EQ (runShellCommand ("true", false, &ok), "");
    EXPECT_FALSE (ok);
    const std::string text = log.finish();
    EXPECT_NE (text.find ("   suffix error : suffix : /usr/ap # /usr/ap #  (command : true -:- answer : true)\n"), std::string::npos) << text;
    EXPECT_EQ (text.find ("prefix error"), std::string::npos) << text;
}

TEST_F (ShellChannelTest, LateAnswerIsLeftForTheNextReader)
{
    EXPECT_EQ (runShellCommand ("sleep 0.6; echo late", false), "");
    juce::Thread::sleep (900);
    EXPECT_EQ (readShellOutput().removeCharacters ("\r\n"), "late/usr/ap # /usr/ap # ");
}

TEST_F (ShellChannelTest, SlowCommandIsWaitedForWhenAsked)
{
    EXPECT_EQ (runShellCommand ("sleep 0.5; echo done", true), "done");
}

TEST_F (ShellChannelTest, AnAnswerIsUtf8TextAndAStrayHighByteAQuestionMark)
{
    EXPECT_EQ (runShellCommand ("printf 'caf\\303\\251\\n'", false), juce::String::fromUTF8 ("caf\xc3\xa9"));
    EXPECT_EQ (runShellCommand ("printf 'ab\\200cd\\n'", false), "ab?cd");
}

TEST_F (ShellChannelTest, MissingDirectoryAnswersWithTheShellsError)
{
    const juce::String answer = runShellCommand ("cd /usr/ap/nowhere", false);
    EXPECT_TRUE (answer.containsIgnoreCase ("can't cd") || answer.containsIgnoreCase ("no such")) << answer;
}
