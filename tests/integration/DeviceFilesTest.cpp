// Installing, moving and fetching files on the emulated instrument, judged by what its shell
// received and what its file system holds afterwards.

#include "application/UserMessages.h"
#include "device/CommunicationLog.h"
#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "devicefiles/VerifiedSend.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace
{
struct RecordedMessages : UserMessages
{
    void showMessage (MessageIcon icon, const juce::String&, const juce::String& message) override
    {
        shown.push_back ({ icon, message.toStdString() });
    }
    bool askYesNo (MessageIcon, const juce::String&, const juce::String&) override { return false; }

    std::vector<std::pair<MessageIcon, std::string>> shown;
};

bool exists (const std::string& path) { return juce::File (path).exists(); }

size_t countLines (const std::string& text, const std::string& start)
{
    size_t count = 0;
    std::istringstream lines (text);
    for (std::string line; std::getline (lines, line);)
        count += line.rfind (start, 0) == 0 ? 1 : 0;
    return count;
}

struct DeviceFilesTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        zmodemSetDefaults();
        ASSERT_TRUE (zmodemOpen (instrument.port().c_str()));
        runShellCommand ("cd /usr/ap", false);
        setUserMessages (&messages);
        anyFileSent = false;
    }

    void TearDown() override
    {
        setUserMessages (nullptr);
        zmodemClose();
        errorClear();
        currentDeviceDirectory = {};
    }

    // A local file under the name the instrument will see.
    juce::File localFile (const std::string& name, const std::string& bytes)
    {
        const std::string path = local.path + "/" + name;
        writeWholeFile (path, bytes);
        return juce::File (path);
    }

    std::vector<std::string> commandsStartingWith (const std::string& start)
    {
        std::vector<std::string> found;
        for (auto& c : instrument.commands())
            if (c.rfind (start, 0) == 0)
                found.push_back (c);
        return found;
    }

    // `wanted` appear in this order among the commands received, other commands between them.
    bool receivedInOrder (const std::vector<std::string>& wanted)
    {
        const auto all = instrument.commands();
        auto at = all.begin();
        for (auto& command : wanted)
        {
            at = std::find (at, all.end(), command);
            if (at == all.end())
                return false;
            ++at;
        }
        return true;
    }

    InstrumentEmulator instrument;
    TemporaryDirectory local;
    RecordedMessages messages;
};
} // namespace

TEST_F (DeviceFilesTest, IdenticalCopyIsKeptAndNothingIsSent)
{
    juce::File same = localFile ("config.xml", readWholeFile (instrument.usrAp() + "/config.xml"));
    DeviceFile f ("config.xml", &same);

    CapturedLog log;
    EXPECT_TRUE (installOnDevice (f, false));
    const std::string text = log.finish();

    EXPECT_NE (text.find (" - config.xml already exists\n"), std::string::npos);
    EXPECT_NE (text.find (" - config.xml is identical in the Vorlen - Let's keep it\n"), std::string::npos);
    EXPECT_TRUE (f.identical);
    EXPECT_FALSE (anyFileSent);
    EXPECT_TRUE (commandsStartingWith ("rz").empty());
    EXPECT_TRUE (moveIntoPlace (f)) << "nothing waits in /tmp";
    EXPECT_TRUE (commandsStartingWith ("mv").empty());
}

TEST_F (DeviceFilesTest, NewFileGoesStraightIntoItsDirectory)
{
    remountUsr (true);
    const std::string bytes = randomBytes (3000, 11);
    juce::File fresh = localFile ("fresh.bin", bytes);
    DeviceFile f ("fresh.bin", &fresh);

    CapturedLog log;
    EXPECT_TRUE (installOnDevice (f, false));
    const std::string text = log.finish();

    EXPECT_NE (text.find (" - fresh.bin doesn't exist ! (answer = "), std::string::npos);
    EXPECT_NE (text.find (" - older fresh.bin not found in Vorlen\n"), std::string::npos);
    EXPECT_NE (text.find ("fresh.bin is copied!\n"), std::string::npos);
    EXPECT_EQ (text.find (" Move "), std::string::npos);
    EXPECT_TRUE (anyFileSent);
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/fresh.bin"), bytes);
    EXPECT_FALSE (exists (instrument.instrumentTmp() + "/fresh.bin"));
    EXPECT_EQ (commandsStartingWith ("md5sum fresh.bin").size(), 1u);
    EXPECT_TRUE (messages.shown.empty());
}

TEST_F (DeviceFilesTest, ReplacingMainStopsItFirstAndMovesTheCopyInPlace)
{
    remountUsr (true);
    const std::string bytes = "#!/bin/sh\nexec sleep 1000\n" + randomBytes (2000, 5);
    juce::File main = localFile ("main", bytes);
    DeviceFile f ("main", &main);

    CapturedLog log;
    EXPECT_TRUE (installOnDevice (f, false));
    const std::string text = log.finish();

    EXPECT_TRUE (receivedInOrder ({ "cd /tmp", "rz", "md5sum main", "fuser -k /usr/ap/main", "cd /usr/ap/",
                                    "rm -r main", "mv /tmp/main /usr/ap/main", "chmod +x /usr/ap/main" }));
    EXPECT_NE (instrument.events().find ("main stopped"), std::string::npos);
    EXPECT_NE (text.find (" Move main\n"), std::string::npos);
    EXPECT_NE (text.find ("main is copied!\n"), std::string::npos);
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/main"), bytes);
    EXPECT_FALSE (exists (instrument.instrumentTmp() + "/main"));
    EXPECT_TRUE (f.tmpName.isEmpty());
}

TEST_F (DeviceFilesTest, DeferredCopiesWaitInTmpAndDotDotFilesGoUnderUsr)
{
    remountUsr (true);
    const std::string oldConfig = readWholeFile (instrument.usrAp() + "/config.xml");
    const std::string newConfig = "<?xml version=\"1.0\"?>\n<config><firmware version=\"2.0\"/></config>\n";
    const std::string newText = randomBytes (700, 8);
    juce::File config = localFile ("config.xml", newConfig);
    juce::File wavetableText = localFile ("wavetable.txt", newText);
    juce::File library = localFile ("..libvorlen.so", randomBytes (1200, 9));
    DeviceFile first ("config.xml", &config), second ("wavetable.txt", &wavetableText), atUsr ("..libvorlen.so", &library);

    ASSERT_TRUE (installOnDevice (first, true));
    ASSERT_TRUE (installOnDevice (second, true));
    EXPECT_EQ (first.tmpName, "config.xml");
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/config.xml"), oldConfig) << "not moved before its turn";
    EXPECT_EQ (readWholeFile (instrument.instrumentTmp() + "/config.xml"), newConfig);
    EXPECT_TRUE (exists (instrument.instrumentTmp() + "/wavetable.txt"));

    ASSERT_TRUE (installOnDevice (atUsr, true));
    EXPECT_TRUE (atUsr.usrRelative);
    EXPECT_EQ (atUsr.remotePath, "libvorlen.so");
    EXPECT_EQ (library.getFileName(), "libvorlen.so");
    EXPECT_EQ (readWholeFile (instrument.workdir() + "/usr/libvorlen.so"), readWholeFile (library.getFullPathName().toStdString()));

    EXPECT_TRUE (moveIntoPlace (first));
    EXPECT_TRUE (moveIntoPlace (second));
    EXPECT_TRUE (moveIntoPlace (atUsr)) << "a new file has nothing waiting";
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/config.xml"), newConfig);
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/wavetable.txt"), newText);
    EXPECT_FALSE (exists (instrument.instrumentTmp() + "/config.xml"));
    EXPECT_TRUE (commandsStartingWith ("fuser").empty()) << "only main is stopped before its move";
}

// The copy was checked in /tmp; what the move left at the final path is checked again.
TEST_F (DeviceFilesTest, AMoveIsConfirmedByTheDigestAtTheFinalPath)
{
    remountUsr (true);
    const std::string newText = randomBytes (900, 12);
    juce::File wavetableText = localFile ("wavetable.txt", newText);
    DeviceFile text ("wavetable.txt", &wavetableText);
    ASSERT_TRUE (installOnDevice (text, true));

    ASSERT_EQ (instrument.control ("bad-md5 wavetable.txt"), "OK\n");
    EXPECT_FALSE (moveIntoPlace (text));
    const auto md5s = commandsStartingWith ("md5sum wavetable.txt");
    EXPECT_GE (md5s.size(), 2u) << "asked in /tmp and again at /usr/ap/";
}

TEST_F (DeviceFilesTest, PersistentlyWrongDigestFailsAfterElevenAsksAndSavesTheLog)
{
    remountUsr (true);
    ASSERT_EQ (instrument.control ("bad-md5 doomed.bin"), "OK\n");
    juce::File doomed = localFile ("doomed.bin", randomBytes (1500, 2));

    const juce::File copy = communicationLogFile().getSiblingFile ("Vorlen_ChecksumError.txt");
    copy.deleteFile();
    CapturedLog log;
    EXPECT_FALSE (verifiedSendFile (doomed));
    std::printf ("after the failure\n");
    const std::string text = log.finish();

    EXPECT_EQ (commandsStartingWith ("md5sum doomed.bin").size(), 11u);
    EXPECT_EQ (countLines (text, "Checksum : "), 10u);
    EXPECT_EQ (commandsStartingWith ("ls doomed.bin").size(), 1u);
    EXPECT_NE (text.find ("File : doomed.bin is copied \n"), std::string::npos);
    const std::string digest = localDigest (doomed).toStdString();
    EXPECT_NE (text.find ("Bad checksum. The file doomed.bin is not correctly copied. CheckSum : "), std::string::npos);
    EXPECT_NE (text.find (" instead of " + digest + "\n"), std::string::npos);

    const std::string saved = readWholeFile (copy.getFullPathName().toStdString());
    EXPECT_NE (saved.find ("Bad checksum. The file doomed.bin"), std::string::npos);
    EXPECT_EQ (saved.find ("after the failure"), std::string::npos) << "the copy ends where it was made";
    EXPECT_NE (text.find ("after the failure"), std::string::npos) << "the log goes on in the same file";

    ASSERT_EQ (messages.shown.size(), 1u);
    EXPECT_EQ (messages.shown[0].first, MessageIcon::warning);
    EXPECT_EQ (messages.shown[0].second, "Bad checksum. The file (doomed.bin) is not correctly copied.");
}

TEST_F (DeviceFilesTest, ReadOnlyUsrFailsTheMoveWithinItsBoundAndSaysWhy)
{
    remountUsr (false);
    const std::string oldText = readWholeFile (instrument.usrAp() + "/wavetable.txt");
    juce::File wavetableText = localFile ("wavetable.txt", randomBytes (800, 6));
    DeviceFile f ("wavetable.txt", &wavetableText);

    CapturedLog log;
    const auto start = juce::Time::getMillisecondCounter();
    EXPECT_FALSE (installOnDevice (f, false));
    const auto took = juce::Time::getMillisecondCounter() - start;
    const std::string text = log.finish();
    std::printf ("install onto a read-only /usr gave up after %u ms\n", took);

    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/wavetable.txt"), oldText);
    EXPECT_NE (text.find (" - wavetable.txt did not reach /usr/ap/ within "), std::string::npos);
    // busybox rm asks before it touches a file it cannot write; the next line answers it.
    const size_t said = text.find ("; the shell said : ");
    ASSERT_NE (said, std::string::npos);
    EXPECT_NE (text.substr (said, text.find ('\n', said) - said).find ("rm: remove 'wavetable.txt'?"), std::string::npos);
    EXPECT_NE (text.find ("hmmm...The file wavetable.txt doesn't exist, whereas it has been copied! (Fatal Error)\n"),
               std::string::npos);
}

TEST_F (DeviceFilesTest, FetchingReadsTheFileAndRefusesWhatIsNotThere)
{
    DeviceFile config ("config.xml");
    ASSERT_TRUE (fetchFromDevice (config));
    EXPECT_EQ (readWholeFile (config.localFile->getFullPathName().toStdString()),
               readWholeFile (instrument.usrAp() + "/config.xml"));
    const juce::File fetched = *config.localFile;

    DeviceFile missing ("nothing-here.xml"), directory ("presets/");
    EXPECT_FALSE (fetchFromDevice (missing));
    EXPECT_FALSE (fetchFromDevice (directory));
    EXPECT_TRUE (probeOnDevice (directory, false));
    EXPECT_EQ (commandsStartingWith ("lsz").size(), 1u);

    DeviceFile noFolder ("nowhere/x.xml");
    CapturedLog log;
    EXPECT_FALSE (probeOnDevice (noFolder, true));
    EXPECT_NE (log.finish().find (" - Dir ap/nowhere/ doesn't exist ! (answer = "), std::string::npos);
    { DeviceFile gone ("config.xml"); (void) gone; }
    EXPECT_TRUE (fetched.exists()) << "only the record's own temporary file goes with it";
}

TEST_F (DeviceFilesTest, HostileNamesRunNothingOnTheInstrument)
{
    remountUsr (true);
    juce::File hostile = localFile ("x;touch pwned.mz", "preset");
    DeviceFile f ("presets/x;touch pwned.mz", &hostile);
    DeviceFile climbing ("../../etc/passwd");
    const size_t before = instrument.commands().size();

    CapturedLog log;
    EXPECT_FALSE (installOnDevice (f, false));
    EXPECT_FALSE (fetchFromDevice (climbing));
    EXPECT_FALSE (waitUntilListed ("$(reboot)"));
    EXPECT_NE (log.finish().find (" - Refused the name "), std::string::npos);

    EXPECT_EQ (instrument.commands().size(), before);
    EXPECT_FALSE (exists (instrument.usrAp() + "/presets/pwned.mz"));
    EXPECT_FALSE (anyFileSent);
}

TEST_F (DeviceFilesTest, FileForAMissingDirectoryIsNotSentElsewhere)
{
    remountUsr (true);
    juce::File lost = localFile ("x.so", randomBytes (500, 12));
    DeviceFile f ("nolib/x.so", &lost);

    CapturedLog log;
    EXPECT_FALSE (installOnDevice (f, false));
    EXPECT_NE (log.finish().find (" - x.so is not sent: its directory /usr/ap/nolib/ is missing on the Vorlen\n"),
               std::string::npos);
    EXPECT_TRUE (commandsStartingWith ("rz").empty());
    EXPECT_FALSE (anyFileSent);
}
