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

TEST_F (PresetTaskTest, UnsendableOrUnreadableFilesAreNamedLeftOutAndTheOthersRestored)
{
    start ({ "--presets", "1" });
    putLocal ("Good.mz", "fine");
    putLocal ("x;touch pwned.mz", "a name the shell takes literally");
    putLocal ("..Preset01.mz", "would be moved over Preset01.mz and placed under /usr/");
    putLocal ("line\nbreak.mz", "would end the command line");
    putLocal ("Preset01.mz", "the user's preset");
    ASSERT_EQ (::mkfifo ((directory.path + "/pipe.mz").c_str(), 0644), 0);
    ASSERT_EQ (::symlink ((directory.path + "/nowhere").c_str(), (directory.path + "/gone.mz").c_str()), 0);

    ASSERT_TRUE (manager->restorePresets (juce::File (directory.path)));
    ASSERT_TRUE (waitForTheEnd());
    ASSERT_EQ (messages.shown.size(), 1) << "one notice, before the question";
    for (const char* name : { "..Preset01.mz", "line?break.mz", "pipe.mz", "gone.mz" })
        EXPECT_TRUE (messages.shown[0].contains (name)) << name;
    EXPECT_FALSE (messages.shown[0].contains ("Good.mz"));
    EXPECT_EQ (messages.questions.size(), 1);
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 1 } }));
    EXPECT_EQ (instrumentPreset ("Good.mz"), "fine");
    EXPECT_EQ (instrumentPreset ("x;touch pwned.mz"), "a name the shell takes literally");
    EXPECT_EQ (instrumentPreset ("Preset01.mz"), "the user's preset");
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/presets/pwned.mz").exists());

    tellPresetsOutcome (SendPresetsThread::restored, manager->restoreTask);
    ASSERT_EQ (messages.shown.size(), 2);
    EXPECT_TRUE (messages.shown[1].startsWith ("3 of 7 presets have been restored. Not restored:\n")) << messages.shown[1];
    EXPECT_TRUE (messages.shown[1].contains ("gone.mz"));
    manager->deletePresetTasks();

    // The task leaves out by itself a file that cannot be read any more, and goes on.
    juce::File dir (directory.path);
    SendPresetsThread restore ({ dir.getChildFile ("pipe.mz"), dir.getChildFile ("Good.mz") });
    restore.startThread();
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (window.finished.back(), std::make_pair ((int) TaskKind::presets, 1));
    EXPECT_EQ (restore.notRestored, juce::StringArray ("pipe.mz: it cannot be read as a file"));
    EXPECT_EQ (restore.restoredCount, 1);
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
}

// Names a backup brings from the instrument or a user gives a file: each reaches the shell
// quoted, travels as it is, and a backup, a restore over changed and missing copies, and a
// second backup give the same bytes under the same names.
struct PresetNameRoundTripTest : PresetTaskTest, ::testing::WithParamInterface<const char*>
{
    // A second apart, as a user clicks: a task started at once after another can still meet
    // the shell's late answers to the last one (the preset soak sees the same without its pause).
    static void pause() { juce::Thread::sleep (1000); }

    void backupInto (const std::string& folder)
    {
        pause();
        ASSERT_TRUE (juce::File (folder).createDirectory());
        ASSERT_TRUE (manager->backupPresets (juce::File (folder)));
        ASSERT_TRUE (waitForTheEnd());
        manager->deletePresetTasks();
    }
};

TEST_P (PresetNameRoundTripTest, BackupRestoreBackupKeepsNamesAndBytes)
{
    const std::string name = GetParam();
    start ({ "--presets", "0" });
    const std::string presets = instrument->usrAp() + "/presets/";
    writeWholeFile (presets + name, randomBytes (900, 3));
    writeWholeFile (presets + "Plain01.mz", randomBytes (400, 4));

    const std::string first = directory.path + "/first", second = directory.path + "/second";
    backupInto (first);
    ASSERT_EQ (entries (first), entries (presets)) << "the backup holds every preset under its own name";

    writeWholeFile (presets + name, "changed on the instrument");
    ASSERT_TRUE (juce::File (presets + "Plain01.mz").deleteFile());
    pause();
    ASSERT_TRUE (manager->restorePresets (juce::File (first)));
    ASSERT_TRUE (waitForTheEnd());
    EXPECT_EQ (window.finished.back(), std::make_pair ((int) TaskKind::presets, 1));
    EXPECT_TRUE (manager->restoreTask->notRestored.isEmpty());
    manager->deletePresetTasks();
    for (const std::string preset : { name, std::string ("Plain01.mz") })
        EXPECT_TRUE (readWholeFile (presets + preset) == readWholeFile (first + "/" + preset)) << preset;

    backupInto (second);
    EXPECT_EQ (entries (second), entries (first));
    for (const std::string preset : { name, std::string ("Plain01.mz") })
        EXPECT_TRUE (readWholeFile (second + "/" + preset) == readWholeFile (first + "/" + preset)) << preset;
    EXPECT_FALSE (juce::File (presets + "pwned").exists());
}

INSTANTIATE_TEST_SUITE_P (Names, PresetNameRoundTripTest,
                          ::testing::Values ("x y.mz", "it's.mz", "$HOME.mz", "`touch pwned`.mz", "a;touch pwned.mz",
                                             "Pr\xc3\xa9set d'\xc3\xa9t\xc3\xa9.mz", "\xe6\x97\xa5\xe6\x9c\xac.mz",
                                             "q\"uo*te?.mz", "Ordinary01.mz"));

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
