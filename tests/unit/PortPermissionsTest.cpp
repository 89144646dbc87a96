// A serial device that this user may not open: the probe says which and how to fix it, and the
// no-instrument box adds one sentence. Root may open anything, so the probe runs in a child
// process with the effective user and groups of "nobody".

#include "application/NoInstrumentMessage.h"
#include "device/PortPermissions.h"
#include "device/ShellChannel.h"
#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
const std::string noInstrumentSentence =
    "No Vorlen. Please connect your Vorlen to the computer (USB) and restart the application.";

struct ProbeOutcome
{
    std::string log, box;
};

bool becomeNobody (const passwd& nobody)
{
    return ::setgroups (0, nullptr) == 0 && ::setegid (nobody.pw_gid) == 0 && ::seteuid (nobody.pw_uid) == 0;
}

// Runs the probe over `ports` as nobody; the child hands back its log and the box's text.
ProbeOutcome probeAsNobody (const std::string& ports)
{
    const passwd* nobody = ::getpwnam ("nobody");
    if (nobody == nullptr)
        throw std::runtime_error ("no user nobody");
    int channel[2];
    if (::pipe (channel) != 0)
        throw std::runtime_error ("pipe failed");

    const passwd who = *nobody;
    pid_t child = ::fork();
    if (child == 0)
    {
        ::close (channel[0]);
        ::setenv ("VORLEN_SERIAL_PORTS", ports.c_str(), 1);
        CapturedLog log;
        if (! becomeNobody (who))
            ::_exit (2);
        probeInstrument();
        const std::string box = noInstrumentText().toStdString();
        ::seteuid (0);
        const std::string text = log.finish() + '\0' + box;
        const bool sent = ::write (channel[1], text.data(), text.size()) == (ssize_t) text.size();
        ::_exit (sent ? 0 : 3);
    }
    ::close (channel[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = ::read (channel[0], buffer, sizeof (buffer))) > 0;)
        all.append (buffer, (size_t) n);
    ::close (channel[0]);
    int status = 0;
    ::waitpid (child, &status, 0);
    EXPECT_EQ (WEXITSTATUS (status), 0);
    const size_t split = all.find ('\0');
    return { all.substr (0, split), split == std::string::npos ? "" : all.substr (split + 1) };
}

void giveTo (const PtyPair& line, gid_t group, mode_t mode)
{
    ASSERT_EQ (::chown (line.path.c_str(), 0, group), 0);
    ASSERT_EQ (::chmod (line.path.c_str(), mode), 0);
}
} // namespace

TEST (PortPermissions, RefusedDevicesAreNamedWithTheirFixAndTheBoxAddsOneSentence)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the lines to another user";
    const group* dialout = ::getgrnam ("dialout");
    ASSERT_NE (dialout, nullptr);

    PtyPair forDialout, rootOnly, open;
    giveTo (forDialout, dialout->gr_gid, 0660);
    giveTo (rootOnly, 0, 0600);
    giveTo (open, 0, 0666);

    const ProbeOutcome outcome = probeAsNobody (open.path + ":" + forDialout.path + ":" + rootOnly.path);

    EXPECT_NE (outcome.log.find ("Permission denied on " + forDialout.path + " (owner root, group dialout, mode 0660) for user nobody: "
                                 "add the user to the dialout group (sudo usermod -aG dialout nobody) and log in again, "
                                 "or allow the device with a udev rule in /etc/udev/rules.d/ such as KERNEL==\"ttyACM[0-9]*\", TAG+=\"uaccess\"\n"),
               std::string::npos) << outcome.log;
    EXPECT_NE (outcome.log.find ("Permission denied on " + rootOnly.path + " (owner root, group root, mode 0600) for user nobody: "
                                 "allow the device with a udev rule"),
               std::string::npos) << outcome.log;
    EXPECT_EQ (outcome.log.find ("Permission denied on " + open.path), std::string::npos) << "the open line was merely silent";

    // The sentence stays; the second paragraph names the first refused device.
    EXPECT_EQ (outcome.box, noInstrumentSentence + "\n\nThe serial port " + forDialout.path
                                + " is there but this user may not open it: add the user to the dialout group "
                                  "(sudo usermod -aG dialout nobody) and log in again.");
}

TEST (PortPermissions, OnlyARefusalForPermissionsAddsTheParagraph)
{
    ::setenv ("VORLEN_SERIAL_PORTS", "/dev/vorlen-no-such-port", 1);
    portRefusedForPermissions = "/dev/ttyACM7";
    {
        CapturedLog log;
        probeInstrument();
        EXPECT_EQ (log.finish().find ("Permission denied"), std::string::npos);
    }
    errorClear();
    ::unsetenv ("VORLEN_SERIAL_PORTS");
    EXPECT_EQ (noInstrumentText().toStdString(), noInstrumentSentence) << "a new listing forgets an earlier refusal";
}
