// Preset backup and restore between the emulated instrument's /usr/ap/presets/ and a directory
// on this computer, started through the download manager.

#include "application/UserMessages.h"
#include "device/ShellChannel.h"
#include "devicefiles/InstrumentFault.h"
#include "tasks/DownloadManager.h"
#include "tasks/ReceivePresetsThread.h"
#include "tasks/SendPresetsThread.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/WindowsFileNames.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char* const overwriteQuestion = "The presets curently into the Vorlen will be overwritten. Make sure to save them first if you want to keep "
                                      "them. Do you want to continue and overwrite your presets ?";

struct PresetTaskTest : TaskTest
{
    bool waitForTheEnd() { return TaskTest::waitForTheEnd (120); }

    std::string instrumentPreset (const std::string& name) const { return readWholeFile (instrument->usrAp() + "/presets/" + name); }
    std::string local (const std::string& name) const { return readWholeFile (directory.path + "/" + name); }
    void putLocal (const std::string& name, const std::string& bytes) const { writeWholeFile (directory.path + "/" + name, bytes); }

    // The directory's entries, sorted and joined with "|".
    static std::string entries (const std::string& path)
    {
        juce::StringArray names;
        for (auto& f : juce::File (path).findChildFiles (juce::File::findFilesAndDirectories, false))
            names.add (f.getFileName());
        names.sort (false);
        return names.joinIntoString ("|").toStdString();
    }
    std::string localNames() const { return entries (directory.path); }

    int count (const std::string& command) const
    {
        const auto all = instrument->commands();
        return (int) std::count (all.begin(), all.end(), command);
    }

    TemporaryDirectory directory;
};
} // namespace

TEST (PresetCountTest, EveryEndingClosesOneNameAndATrailingOtherFileIsOneMore)
{
    EXPECT_EQ (countListedPresets ("A.mz  B.mz"), 2);
    EXPECT_EQ (countListedPresets ("A.mzB.mzreadme"), 3) << "the file without the ending after the presets counts";
    EXPECT_EQ (countListedPresets ("readmeA.mzB.mz"), 2) << "before a preset it joins that preset's piece";
    EXPECT_EQ (countListedPresets ("a;b c.mz"), 1) << "a name's own semicolon is not a separator";
    EXPECT_EQ (countListedPresets (""), 0);
    EXPECT_EQ (countListedPresets ("   "), 0);
}

TEST_F (PresetTaskTest, BackupStoresEveryPresetWithAStepPerFileAndKeepsTheUsersDifferingFiles)
{
    start ({ "--presets", "3" });
    putLocal ("Preset01.mz", "the user's own older preset");
    putLocal ("Preset02.mz", instrumentPreset ("Preset02.mz"));
    putLocal ("notes.txt", "kept as it is");

    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path)));
    manager->cancelTask();
    EXPECT_FALSE (manager->backupTask->threadShouldExit()) << "the window's lock on the backup's thread must still work";
    EXPECT_FALSE (manager->backupPresets (juce::File (directory.path))) << "one task at a time";
    EXPECT_FALSE (manager->restorePresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, -1 } }));
    EXPECT_EQ (window.names, juce::StringArray ("Receive presets...", ""));
    EXPECT_EQ (window.steps, (std::vector<double> { 1.0 / 3, 2.0 / 3, 1.0 }));
    EXPECT_EQ (messages.shown, juce::StringArray ("This action cannot be canceled.",
                                                  "Your presets have been stored into " + juce::String (directory.path),
                                                  "These files were already in the directory with other contents; they have been kept as "
                                                  "Preset01.mz.previous."));

    for (const char* name : { "Preset01.mz", "Preset02.mz", "Preset03.mz" })
        EXPECT_TRUE (local (name) == instrumentPreset (name)) << name;
    EXPECT_EQ (local ("Preset01.mz.previous"), "the user's own older preset");
    EXPECT_EQ (local ("notes.txt"), "kept as it is");
    EXPECT_EQ (localNames(), "Preset01.mz|Preset01.mz.previous|Preset02.mz|Preset03.mz|notes.txt")
        << "nothing else is left behind";
    EXPECT_EQ (count ("lsz *.mz"), 1);

    // A second backup keeps the first backup's copy aside under a further name.
    putLocal ("Preset03.mz", "changed since");
    manager->deletePresetTasks();
    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (local ("Preset03.mz.previous"), "changed since");
    EXPECT_TRUE (local ("Preset03.mz") == instrumentPreset ("Preset03.mz"));
    EXPECT_EQ (local ("Preset01.mz.previous"), "the user's own older preset");
}

TEST_F (PresetTaskTest, BackupNameThatIsAPathStaysInTheChosenDirectory)
{
    start ({ "--presets", "1" });
    const TemporaryDirectory outer;
    const std::string inside = outer.path + "/backup";
    ASSERT_TRUE (juce::File (inside).createDirectory());
    writeWholeFile (instrument->usrAp() + "/presets/x\\..\\..\\escape.mz", "hostile name");

    ASSERT_TRUE (manager->backupPresets (juce::File (inside)));
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (messages.shown, juce::StringArray ("Your presets have been stored into " + juce::String (inside)));
    EXPECT_EQ (readWholeFile (inside + "/escape.mz"), "hostile name");
    EXPECT_TRUE (readWholeFile (inside + "/Preset01.mz") == instrumentPreset ("Preset01.mz"));
    EXPECT_EQ (entries (inside), "Preset01.mz|escape.mz");
    EXPECT_EQ (entries (outer.path), "backup");

}

TEST_F (PresetTaskTest, BackupOnWindowsNamesThePresetsItCouldNotStoreAndSavesTheRest)
{
    start ({ "--presets", "2" });
    writeWholeFile (instrument->usrAp() + "/presets/AUX.mz", "a device name on Windows");
    writeWholeFile (instrument->usrAp() + "/presets/a:b.mz", "a stream on NTFS");
    receivedNameRule = whyWindowsCannotStore;

    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path)));
    const bool ended = waitForTheEnd();
    receivedNameRule = nullptr;
    ASSERT_TRUE (ended);

    EXPECT_EQ (messages.shown, juce::StringArray ("An error occurs. The presets cannot be saved.",
                                                  "These presets could not be saved, because this computer cannot store files under their "
                                                  "names: AUX.mz (" + juce::String (whyWindowsCannotStore ("AUX.mz")) + "), a:b.mz ("
                                                      + juce::String (whyWindowsCannotStore ("a:b.mz")) + "). Rename them on the Vorlen "
                                                      "to back them up. The presets that arrived are in " + juce::String (directory.path) + "."));
    EXPECT_EQ (localNames(), "Preset01.mz|Preset02.mz") << "the lsz of the instrument goes on with the next file after each ZSKIP";
    for (const char* name : { "Preset01.mz", "Preset02.mz" })
        EXPECT_TRUE (local (name) == instrumentPreset (name)) << name;
    EXPECT_EQ (window.steps.back(), 1.0) << "the skipped files count as done";
}

TEST_F (PresetTaskTest, BackupWithoutPresetsOnTheInstrumentOrWithoutTheLocalDirectoryFails)
{
    start ({ "--presets", "2" });
    ASSERT_TRUE (juce::File (instrument->usrAp() + "/presets").deleteRecursively());
    putLocal ("Preset01.mz", "mine");

    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (messages.shown, juce::StringArray ("An error occurs. The presets cannot be saved."));
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, -1 } }));
    EXPECT_EQ (count ("lsz *.mz"), 0);
    EXPECT_EQ (localNames(), "Preset01.mz");

    manager->deletePresetTasks();
    messages.shown.clear();
    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path + "/missing")));
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (messages.shown, juce::StringArray ("An error occurs. The presets cannot be saved."));
    EXPECT_FALSE (juce::File (directory.path + "/missing").exists());
}

TEST_F (PresetTaskTest, BackupCutShortKeepsWhatArrivedWholeAndDropsThePartialFile)
{
    start ({ "--presets", "0" });
    writeWholeFile (instrument->usrAp() + "/presets/A.mz", randomBytes (3000, 5));
    writeWholeFile (instrument->usrAp() + "/presets/B.mz", randomBytes (30000, 6));
    putLocal ("B.mz", "the user's B");
    instrument->control ("unplug to-host after 13000");

    ASSERT_TRUE (manager->backupPresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (messages.shown, juce::StringArray (instrumentLostMessage, "An error occurs. The presets cannot be saved."));
    EXPECT_TRUE (local ("A.mz") == instrumentPreset ("A.mz"));
    EXPECT_EQ (local ("B.mz"), "the user's B");
    EXPECT_EQ (localNames(), "A.mz|B.mz");
}

TEST_F (PresetTaskTest, RestoreSendsTheDirectorysPresetsOnlyAfterTheUserAgrees)
{
    start ({ "--presets", "2" });
    putLocal ("Preset01.mz", randomBytes (1500, 1));
    putLocal ("Preset02.mz", instrumentPreset ("Preset02.mz"));
    putLocal ("New.mz", randomBytes (900, 2));
    putLocal ("readme.txt", "not a preset");
    ASSERT_TRUE (juce::File (directory.path + "/sub").createDirectory());
    putLocal ("sub/Deep.mz", "not sent");

    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    EXPECT_EQ (messages.questions, juce::StringArray (overwriteQuestion));
    EXPECT_EQ (messages.questionIcon, MessageIcon::info);
    EXPECT_EQ (manager->presetFiles.size(), 3);
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 1 } }));
    EXPECT_EQ (window.names, juce::StringArray ("Send presets...", ""));
    EXPECT_EQ (window.steps, (std::vector<double> { 1.0 / 3, 2.0 / 3, 1.0 }));
    EXPECT_TRUE (messages.shown.isEmpty());
    for (const char* name : { "Preset01.mz", "Preset02.mz", "New.mz" })
        EXPECT_TRUE (instrumentPreset (name) == local (name)) << name;
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/Deep.mz").exists());
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/readme.txt").exists());
    EXPECT_EQ (count ("rz"), 2) << "the identical preset is not sent again";
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");

    manager->deletePresetTasks();
    EXPECT_EQ (manager->presetFiles.size(), 0);
    EXPECT_EQ (manager->restoreTask, nullptr);
}

TEST_F (PresetTaskTest, RestoreOfAnEmptyOrDeclinedDirectoryStartsNothing)
{
    start ({ "--presets", "1" });
    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    EXPECT_EQ (messages.shown, juce::StringArray ("There is no presets in this directory !"));
    EXPECT_TRUE (messages.questions.isEmpty());

    putLocal ("Declined.mz", "no");
    messages.answer = false;
    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    EXPECT_EQ (manager->restoreTask, nullptr);

    const TemporaryDirectory other;
    writeWholeFile (other.path + "/Accepted.mz", "yes");
    messages.answer = true;
    ASSERT_TRUE (manager->restorePresets (juce::File (other.path)));
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 1 } }));
    EXPECT_EQ (instrumentPreset ("Accepted.mz"), "yes");
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/Declined.mz").exists());
    EXPECT_EQ (window.steps, (std::vector<double> { 1.0 }));
}

TEST_F (PresetTaskTest, CancelledRestoreStopsBeforeTheNextFile)
{
    start ({ "--presets", "0" });
    for (const char* name : { "A.mz", "B.mz", "C.mz" })
        putLocal (name, randomBytes (700, (unsigned) name[0]));
    window.onProgress = [this] { manager->cancelTask(); };

    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 2 } }));
    EXPECT_EQ (window.steps, (std::vector<double> { 1.0 / 3 }));
    EXPECT_TRUE (instrumentPreset ("A.mz") == local ("A.mz"));
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/B.mz").exists());
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
}

TEST_F (PresetTaskTest, HostileOrUnreadableFilesAreRefusedBeforeAnythingIsSent)
{
    start ({ "--presets", "1" });
    putLocal ("Good.mz", "fine");
    putLocal ("x;reboot.mz", "hostile");
    putLocal ("..Preset01.mz", "would be moved over Preset01.mz and placed under /usr/");
    putLocal ("Preset01.mz", "the user's preset");
    ASSERT_EQ (::mkfifo ((directory.path + "/pipe.mz").c_str(), 0644), 0);
    ASSERT_EQ (::symlink ((directory.path + "/nowhere").c_str(), (directory.path + "/gone.mz").c_str()), 0);

    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    EXPECT_EQ (manager->restoreTask, nullptr);
    EXPECT_TRUE (messages.questions.isEmpty());
    ASSERT_EQ (messages.shown.size(), 1);
    for (const char* name : { "x;reboot.mz", "..Preset01.mz", "pipe.mz", "gone.mz" })
        EXPECT_TRUE (messages.shown[0].contains (name)) << name;
    EXPECT_FALSE (messages.shown[0].contains ("Good.mz"));
    EXPECT_EQ (local ("Preset01.mz"), "the user's preset");
    EXPECT_EQ (count ("rz"), 0);

    // The task refuses such a file by itself too, and says so in its result.
    juce::File dir (directory.path);
    SendPresetsThread restore ({ dir.getChildFile ("Good.mz"), dir.getChildFile ("x;reboot.mz"), dir.getChildFile ("Good.mz") });
    restore.startThread();
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 0 } }));
    EXPECT_EQ (instrumentPreset ("Good.mz"), "fine");
    EXPECT_EQ (window.steps, (std::vector<double> { 1.0 / 3 }));
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
}

TEST_F (PresetTaskTest, DestroyingTheManagerStopsARunningRestoreAndWaitsForEveryTask)
{
    start ({ "--presets", "0" });
    for (const char* name : { "A.mz", "B.mz", "C.mz" })
        putLocal (name, randomBytes (500, (unsigned) name[0]));
    juce::WaitableEvent firstSent;
    std::atomic<juce::Thread*> restore { nullptr };
    // Holds the restore after its first file until the manager's destructor asks it to stop.
    window.onProgress = [&] {
        firstSent.signal();
        while (restore.load() == nullptr || ! restore.load()->threadShouldExit())
            juce::Thread::sleep (5);
    };
    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    restore = manager->restoreTask;
    ASSERT_TRUE (firstSent.wait (60 * 1000));

    manager.reset();
    EXPECT_EQ (window.deleted, 2) << "the update task and the restore";
    EXPECT_TRUE (window.finished.empty()) << "a restore stopped by its deletion makes no end report";
    EXPECT_TRUE (instrumentPreset ("A.mz") == local ("A.mz"));
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/B.mz").exists());
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
}
