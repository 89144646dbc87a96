#include "device/CommunicationLog.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

namespace
{
std::string expectedHeader()
{
    char os[64];
    std::snprintf (os, sizeof (os), "****   OS : Mac (%x)   ****\n\n", (unsigned) juce::SystemStats::getOperatingSystemType());
    return std::string ("****   Start Zmodem logging   ****\n****   Version :Test   ****\n") + os;
}
} // namespace

TEST (CommunicationLogTest, HeaderAndFooterAreExactAndEachRunStartsAfresh)
{
    {
        CapturedLog log;
        std::printf ("first run line\n");
        log.finish();
    }

    CapturedLog log;
    std::printf ("second run line\n");
    std::string text = log.finish();

    EXPECT_EQ (text, expectedHeader() + "second run line\n" + "\n****   End Zmodem logging   ****\n");
    EXPECT_EQ (communicationLogFile().getFileName(), "VorlenLog.txt");
    EXPECT_EQ (communicationLogFile().getParentDirectory(),
               juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory));
}

TEST (CommunicationLogTest, CopyKeepsLinesBeforeAndLogGoesOnAfter)
{
    juce::File copy = communicationLogFile().getSiblingFile ("Vorlen_ChecksumError.txt");
    copy.replaceWithText ("an older copy\n");

    CapturedLog log;
    std::printf ("before the copy\n");
    copyCommunicationLog ("Vorlen_ChecksumError.txt");
    std::printf ("after the copy\n");
    std::string text = log.finish();

    EXPECT_EQ (readWholeFile (copy.getFullPathName().toStdString()), expectedHeader() + "before the copy\n");
    EXPECT_EQ (text, expectedHeader() + "before the copy\nafter the copy\n\n****   End Zmodem logging   ****\n");
}

// Runs side by side, one per port, must not share a log or a checksum copy.
TEST (CommunicationLogTest, APortsLogAndItsCopyAreNamedAfterThePort)
{
    EXPECT_EQ (portLogName ("/dev/ttyACM1"), "VorlenLog-ttyACM1.txt");
    EXPECT_EQ (portLogName ("/tmp/vorlen/port"), "VorlenLog-tmp-vorlen-port.txt");
    EXPECT_EQ (portLogName ("COM3"), "VorlenLog-COM3.txt");

    const juce::File windowLog = defaultCommunicationLogFile();
    const juce::File portLog = windowLog.getSiblingFile (portLogName ("/dev/ttyACM1"));
    windowLog.getSiblingFile ("Vorlen_ChecksumError.txt").deleteFile();
    setCommunicationLogFile (portLog);
    {
        CapturedLog log;
        std::printf ("on the port\n");
        copyCommunicationLog ("Vorlen_ChecksumError.txt");
        log.finish();
    }
    setCommunicationLogFile ({});

    EXPECT_EQ (readWholeFile (portLog.getFullPathName().toStdString()),
               expectedHeader() + "on the port\n\n****   End Zmodem logging   ****\n");
    EXPECT_TRUE (windowLog.getSiblingFile ("VorlenLog-ttyACM1_ChecksumError.txt").existsAsFile());
    EXPECT_FALSE (windowLog.getSiblingFile ("Vorlen_ChecksumError.txt").exists());
}
