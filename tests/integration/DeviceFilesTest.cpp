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
#include <sys/stat.h>

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

TEST_F (DeviceFilesTest, NewFileLandsBesideItsPlaceAndIsRenamedIn)
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
    EXPECT_TRUE (anyFileSent);
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/fresh.bin"), bytes);
    EXPECT_FALSE (exists (instrument.usrAp() + "/.vorlen-update.fresh.bin"));
    EXPECT_EQ (commandsStartingWith ("mv .vorlen-update.fresh.bin fresh.bin").size(), 1u);
    EXPECT_TRUE (messages.shown.empty());
}

TEST_F (DeviceFilesTest, ReplacingMainStopsItFirstAndRenamesTheCheckedCopyOverIt)
{
    remountUsr (true);
    const std::string bytes = "#!/bin/sh\nexec sleep 1000\n" + randomBytes (2000, 5);
    juce::File main = localFile ("main", bytes);
    DeviceFile f ("main", &main);
    writeWholeFile (instrument.usrAp() + "/.vorlen-update.main", "left by an interrupted update");

    CapturedLog log;
    EXPECT_TRUE (installOnDevice (f, false));
    const std::string text = log.finish();

    EXPECT_TRUE (receivedInOrder ({ "cd /usr/ap/", "md5sum main", "rm .vorlen-update.main", "rz", "md5sum .vorlen-update.main",
                                    "chmod +x .vorlen-update.main", "fuser -k /usr/ap/main", "mv .vorlen-update.main main" }));
    EXPECT_NE (instrument.events().find ("main stopped"), std::string::npos);
    EXPECT_NE (text.find (" Move main\n"), std::string::npos);
    EXPECT_NE (text.find ("main is copied!\n"), std::string::npos) << text;
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/main"), bytes);
    struct stat mode {};
    ASSERT_EQ (::stat ((instrument.usrAp() + "/main").c_str(), &mode), 0);
    EXPECT_TRUE (mode.st_mode & S_IXUSR) << "runnable the moment it is in place";
    EXPECT_FALSE (exists (instrument.usrAp() + "/.vorlen-update.main"));
    EXPECT_TRUE (commandsStartingWith ("rm -r").empty()) << "the old file is never removed first";
    EXPECT_TRUE (f.tmpName.isEmpty());
}

TEST_F (DeviceFilesTest, DeferredCopiesWaitBesideTheirPlaceAndDotDotFilesGoUnderUsr)
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
    EXPECT_EQ (first.tmpName, ".vorlen-update.config.xml");
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/config.xml"), oldConfig) << "not moved before its turn";
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/.vorlen-update.config.xml"), newConfig);

    ASSERT_TRUE (installOnDevice (atUsr, true));
    EXPECT_TRUE (atUsr.usrRelative);
    EXPECT_EQ (atUsr.remotePath, "libvorlen.so");
    EXPECT_EQ (library.getFileName(), "libvorlen.so");
    EXPECT_FALSE (exists (instrument.workdir() + "/usr/libvorlen.so")) << "a new file waits too";

    for (DeviceFile* f : { &first, &second, &atUsr })
        EXPECT_TRUE (moveIntoPlace (*f)) << f->remotePath;
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/config.xml"), newConfig);
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/wavetable.txt"), newText);
    EXPECT_EQ (readWholeFile (instrument.workdir() + "/usr/libvorlen.so"), readWholeFile (library.getFullPathName().toStdString()));
    EXPECT_FALSE (exists (instrument.usrAp() + "/.vorlen-update.config.xml"));
    EXPECT_TRUE (commandsStartingWith ("fuser").empty()) << "only main is stopped before its move";
}

// The copy was checked beside its place; what the rename left at the final path is checked again.
TEST_F (DeviceFilesTest, AMoveIsConfirmedByTheDigestAtTheFinalPath)
{
    remountUsr (true);
    const std::string newText = randomBytes (900, 12);
    juce::File wavetableText = localFile ("wavetable.txt", newText);
    DeviceFile text ("wavetable.txt", &wavetableText);
    ASSERT_TRUE (installOnDevice (text, true));

    ASSERT_EQ (instrument.control ("bad-md5 wavetable.txt"), "OK\n");
    EXPECT_FALSE (moveIntoPlace (text));
    EXPECT_EQ (commandsStartingWith ("md5sum wavetable.txt").size(), 2u) << "asked before the send and at the final path";
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

TEST_F (DeviceFilesTest, ReadOnlyUsrFailsTheInstallAndLeavesTheOldFile)
{
    EXPECT_TRUE (remountUsr (false));
    const std::string oldText = readWholeFile (instrument.usrAp() + "/wavetable.txt");
    juce::File wavetableText = localFile ("wavetable.txt", randomBytes (800, 6));
    DeviceFile f ("wavetable.txt", &wavetableText);

    EXPECT_FALSE (installOnDevice (f, false));
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/wavetable.txt"), oldText);
    EXPECT_FALSE (exists (instrument.usrAp() + "/.vorlen-update.wavetable.txt"));
    EXPECT_TRUE (commandsStartingWith ("mv").empty());
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

TEST_F (DeviceFilesTest, HostileNamesAreTakenLiterallyOrRefused)
{
    remountUsr (true);
    juce::File hostile = localFile ("x;touch pwned.mz", "preset");
    DeviceFile f ("presets/x;touch pwned.mz", &hostile);
    DeviceFile climbing ("../../etc/passwd");
    const size_t before = instrument.commands().size();

    CapturedLog log;
    EXPECT_FALSE (fetchFromDevice (climbing));
    EXPECT_FALSE (waitUntilListed ("x\nreboot"));
    EXPECT_NE (log.finish().find (" - Refused the name "), std::string::npos);
    EXPECT_EQ (instrument.commands().size(), before);
    EXPECT_FALSE (anyFileSent);

    EXPECT_TRUE (installOnDevice (f, false));
    EXPECT_EQ (readWholeFile (instrument.usrAp() + "/presets/x;touch pwned.mz"), "preset");
    EXPECT_FALSE (exists (instrument.usrAp() + "/presets/pwned.mz"));
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
