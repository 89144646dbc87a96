// Firmware and sound bank updates against a server, a network and archives that misbehave:
// every fault must end as a failure with nothing installed and nothing powered off.

#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/DownloadManager.h"
#include "tasks/WebDownload.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace
{
const char* const connectionFails = "The connection to the server fails.";
const char* const internetFails = "The internet connection fails.";

enum class Target
{
    mainAlone,
    dreamAlone,
    bothSecondBad,
    soundBankSecondBad
};

struct Fault
{
    Target target;
    const char* kind;      // a fault of the update-server fixture, or "refused"
    const char* message;   // the first box the user sees; nullptr: the archive refusal
};

std::string faultyFile (Target target)
{
    switch (target)
    {
        case Target::mainAlone:          return "last/firmware/test/main.zip";
        case Target::dreamAlone:
        case Target::bothSecondBad:      return "last/dreamfw/test/dream.zip";
        case Target::soundBankSecondBad: return "last/soundbank/wavetable.txt";
    }
    return {};
}

std::vector<std::string> instrumentVersions (Target target)
{
    switch (target)
    {
        case Target::mainAlone:          return { "--firmware-version", "1.0", "--dream-version", "2.0" };
        case Target::dreamAlone:         return { "--firmware-version", "2.0", "--dream-version", "1.0" };
        case Target::bothSecondBad:      return { "--firmware-version", "1.0", "--dream-version", "1.0" };
        case Target::soundBankSecondBad: return { "--sound-version", "1.0" };
    }
    return {};
}

// The bytes of one entry of a served archive.
std::string entryBytes (const std::string& archive, const juce::String& name)
{
    juce::ZipFile zip { juce::File (archive) };
    const int index = zip.getIndexOfFileName (name);
    std::unique_ptr<juce::InputStream> in (index >= 0 ? zip.createStreamForEntry (index) : nullptr);
    juce::MemoryBlock bytes;
    if (in != nullptr)
        in->readIntoMemoryBlock (bytes);
    return std::string ((const char*) bytes.getData(), bytes.getSize());
}

struct UpdateRun : TaskTest
{
    void startUpdate (const std::string& firmwareBase, const std::vector<std::string>& instrumentArguments, bool soundBank)
    {
        ::setenv ("VORLEN_FIRMWARE_BASE_URL", firmwareBase.c_str(), 1);
        start (instrumentArguments);
        before = usrTree (*instrument);
        ASSERT_FALSE (before.empty());
        if (soundBank)
        {
            ASSERT_TRUE (manager->isSoundBankUpdateAvailable());
            ASSERT_TRUE (manager->startSoundBankUpdate (nullptr));
        }
        else
        {
            ASSERT_TRUE (manager->isFirmwareUpdateAvailable());
            ASSERT_TRUE (manager->startFirmwareUpdate (nullptr));
        }
    }

    void TearDown() override
    {
        TaskTest::TearDown();
        ::unsetenv ("VORLEN_FIRMWARE_BASE_URL");
        downloadLimits() = NetworkLimits();
    }

    long count (const std::string& command) const
    {
        const auto all = instrument->commands();
        return std::count (all.begin(), all.end(), command);
    }

    // The task clears `busy` right after its end report, on its own thread.
    bool becomesIdle()
    {
        for (int i = 0; i < 100 && manager->updateTask->busy; ++i)
            juce::Thread::sleep (20);
        return ! manager->updateTask->busy;
    }

    // Failed, nothing sent, nothing changed below /usr, /usr read-only again, not powered off.
    void expectNothingInstalled()
    {
        EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::update, 0 } }));
        EXPECT_FALSE (window.quit);
        EXPECT_EQ (count ("rz"), 0) << "nothing may reach the instrument";
        EXPECT_EQ (count ("poweroff"), 0);
        EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
        EXPECT_EQ (usrTree (*instrument), before);
        EXPECT_TRUE (becomesIdle()) << "the next try must be possible";
    }

    std::string before;
};

std::string faultName (const ::testing::TestParamInfo<Fault>& info)
{
    static const char* const names[] = { "Main", "Dream", "BothSecond", "SoundBankSecond" };
    std::string kind = info.param.kind;
    kind.erase (std::remove_if (kind.begin(), kind.end(), [] (char c) { return ! std::isalnum ((unsigned char) c); }), kind.end());
    return std::string (names[(int) info.param.target]) + "_" + kind;
}

struct ServerFaultTest : UpdateRun, ::testing::WithParamInterface<Fault>
{
    ServerFaultTest() : server (faults()) {}
    static std::vector<std::string> faults()
    {
        if (std::string (GetParam().kind) == "refused")
            return {};
        return { faultyFile (GetParam().target) + "=" + GetParam().kind };
    }
    UpdateServerFixture server;
};
} // namespace

TEST_P (ServerFaultTest, EndsAsAFailureWithTheInstrumentUnchanged)
{
    const Fault fault = GetParam();
    // Small files, so that a cut-off body is cut before its end.
    server.generateContent ("--main-size 40K --lib-size 20K --dream-size 40K --wavetable-size 40K --sound-version 2.0");
    downloadLimits().stallMs = 1500;
    std::string base = server.baseUrl() + "last/";
    if (std::string (fault.kind) == "refused")
        base = "http://127.0.0.1:" + std::to_string (juce::URL (server.baseUrl()).getPort() + 1) + "/last/";

    startUpdate (base, instrumentVersions (fault.target), fault.target == Target::soundBankSecondBad);
    ASSERT_TRUE (waitForTheEnd (60));

    expectNothingInstalled();
    ASSERT_EQ (messages.shown.size(), 1) << messages.shown.joinIntoString (" | ").toStdString();
    if (fault.message != nullptr)
        EXPECT_EQ (messages.shown[0], fault.message);
    else
        EXPECT_TRUE (messages.shown[0].contains ("Nothing has been sent to the Vorlen.")) << messages.shown[0];
}

INSTANTIATE_TEST_SUITE_P (
    Faults, ServerFaultTest,
    ::testing::Values (Fault { Target::mainAlone, "404", connectionFails }, Fault { Target::mainAlone, "500", connectionFails },
                       Fault { Target::mainAlone, "drop", connectionFails }, Fault { Target::mainAlone, "short", internetFails },
                       Fault { Target::mainAlone, "chunkedcut", internetFails }, Fault { Target::mainAlone, "empty", internetFails },
                       Fault { Target::mainAlone, "stall:60", internetFails }, Fault { Target::mainAlone, "notzip", nullptr },
                       Fault { Target::mainAlone, "notxml", nullptr }, Fault { Target::mainAlone, "refused", connectionFails },
                       Fault { Target::dreamAlone, "404", connectionFails }, Fault { Target::dreamAlone, "short", internetFails },
                       Fault { Target::dreamAlone, "notzip", nullptr },
                       Fault { Target::bothSecondBad, "404", connectionFails }, Fault { Target::bothSecondBad, "stall:60", internetFails },
                       Fault { Target::bothSecondBad, "notzip", nullptr }, Fault { Target::bothSecondBad, "chunkedcut", internetFails },
                       Fault { Target::bothSecondBad, "empty", internetFails },
                       Fault { Target::soundBankSecondBad, "404", connectionFails },
                       Fault { Target::soundBankSecondBad, "short", internetFails },
                       Fault { Target::soundBankSecondBad, "empty", internetFails },
                       Fault { Target::soundBankSecondBad, "stall:60", internetFails },
                       Fault { Target::soundBankSecondBad, "drop", connectionFails }),
    faultName);

namespace
{
struct WholeBodiesTest : UpdateRun
{
    UpdateServerFixture server { { "last/firmware/test/main.zip=chunked", "last/dreamfw/test/dream.zip=nolength",
                                   "last/soundbank/wavetable.bin=slow:400000" } };
};
} // namespace

// Bodies without an announced length, and slow ones, are whole when they end properly.
TEST_F (WholeBodiesTest, ChunkedCloseDelimitedAndSlowBodiesInstall)
{
    server.generateContent ("--main-size 30K --lib-size 10K --dream-size 20K --wavetable-size 60K --sound-version 2.0");
    startUpdate (server.baseUrl() + "last/", { "--firmware-version", "1.0", "--dream-version", "1.0", "--sound-version", "1.0" }, true);
    ASSERT_TRUE (waitForTheEnd (60));
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::update, 1 } }));
    EXPECT_EQ (readWholeFile (instrument->usrAp() + "/wavetable.bin"), readWholeFile (server.root() + "/last/soundbank/wavetable.bin"));

    window.ended.reset();
    ASSERT_TRUE (becomesIdle());
    ASSERT_TRUE (manager->isFirmwareUpdateAvailable());
    ASSERT_TRUE (manager->startFirmwareUpdate (nullptr));
    ASSERT_TRUE (waitForTheEnd (60));
    EXPECT_TRUE (window.quit);
    const std::string mainZip = server.root() + "/last/firmware/test/main.zip";
    EXPECT_EQ (readWholeFile (instrument->usrAp() + "/main"), entryBytes (mainZip, "main"));
    EXPECT_EQ (readWholeFile (instrument->usrAp() + "/dream/dsp.bin"),
               entryBytes (server.root() + "/last/dreamfw/test/dream.zip", "dream/dsp.bin"));
}

namespace
{
struct HostileArchiveTest : UpdateRun, ::testing::WithParamInterface<const char*>
{
    UpdateServerFixture server;
};
} // namespace

// Refused before anything is sent: the archive is checked whole first.
TEST_P (HostileArchiveTest, IsRefusedWithNothingSent)
{
    server.generateContent (std::string ("--main-size 4K --lib-size 2K --dream-size 1K --wavetable-size 1K --hostile ") + GetParam());
    startUpdate (server.baseUrl() + "last/", instrumentVersions (Target::mainAlone), false);
    ASSERT_TRUE (waitForTheEnd (60));

    expectNothingInstalled();
    ASSERT_EQ (messages.shown.size(), 1);
    EXPECT_TRUE (messages.shown[0].contains ("Nothing has been sent to the Vorlen.")) << messages.shown[0];
}

INSTANTIATE_TEST_SUITE_P (Archives, HostileArchiveTest, ::testing::Values ("symlink", "badcrc", "duplicate", "oversized"));

namespace
{
struct SameNameTest : UpdateRun
{
    UpdateServerFixture server;
};
} // namespace

// lib/a/x.bin and lib/b/x.bin both replace files on the instrument: both copies wait at the
// same time, and each must end at its own path with its own bytes.
TEST_F (SameNameTest, FilesOfOneNameInTwoFoldersEachLandAtTheirOwnPath)
{
    server.generateContent ("--main-size 4K --lib-size 2K --dream-size 1K --wavetable-size 1K --hostile samename");
    ::setenv ("VORLEN_FIRMWARE_BASE_URL", (server.baseUrl() + "last/").c_str(), 1);
    start (instrumentVersions (Target::mainAlone));
    for (const char* folder : { "/lib/a", "/lib/b" })
    {
        ASSERT_TRUE (juce::File (instrument->usrAp() + folder).createDirectory());
        writeWholeFile (instrument->usrAp() + folder + "/x.bin", std::string ("old ") + folder);
    }
    ASSERT_TRUE (manager->isFirmwareUpdateAvailable());
    ASSERT_TRUE (manager->startFirmwareUpdate (nullptr));
    ASSERT_TRUE (waitForTheEnd (60));

    EXPECT_TRUE (window.quit) << messages.shown.joinIntoString (" | ");
    const std::string mainZip = server.root() + "/last/firmware/test/main.zip";
    for (const char* entry : { "lib/a/x.bin", "lib/b/x.bin" })
        EXPECT_EQ (readWholeFile (instrument->usrAp() + "/" + entry), entryBytes (mainZip, entry)) << entry;
    EXPECT_NE (entryBytes (mainZip, "lib/a/x.bin"), entryBytes (mainZip, "lib/b/x.bin"));
    EXPECT_EQ (count ("mv .vorlen-update.x.bin x.bin"), 2);
}

namespace
{
struct CancelTest : UpdateRun
{
    UpdateServerFixture server { { "last/firmware/test/main.zip=stall:60" } };
};
} // namespace

TEST_F (CancelTest, CancelEndsAStalledDownloadAtOnceWithoutAMessage)
{
    server.generateContent ("--main-size 40K --lib-size 20K --dream-size 1K --wavetable-size 1K");
    startUpdate (server.baseUrl() + "last/", instrumentVersions (Target::mainAlone), false);
    // The first half of the body arrives, then nothing: wait until the task reads it.
    const auto progressSeen = [this]
    {
        std::lock_guard<std::mutex> hold (window.lock);
        return ! window.steps.empty();
    };
    for (int i = 0; i < 200 && ! progressSeen(); ++i)
        juce::Thread::sleep (20);
    ASSERT_TRUE (progressSeen());
    juce::Thread::sleep (500);

    const auto cancelled = juce::Time::getMillisecondCounter();
    manager->cancelTask();
    ASSERT_TRUE (waitForTheEnd (10));
    EXPECT_LT (juce::Time::getMillisecondCounter() - cancelled, 2000u);
    expectNothingInstalled();
    EXPECT_TRUE (messages.shown.isEmpty()) << messages.shown.joinIntoString (" | ");
}
