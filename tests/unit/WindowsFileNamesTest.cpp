// The rule for names Windows cannot store, checked here on Linux, where the receiver does not
// apply it: each refused name must be refused for its own reason, and the near misses that
// Windows stores as ordinary files must pass.

#include "zmodem/WindowsFileNames.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string reasonFor (const std::string& name)
{
    const char* reason = whyWindowsCannotStore (name.c_str());
    return reason != nullptr ? reason : "";
}

void expectRefusedFor (std::initializer_list<const char*> names, const std::string& reasonPart)
{
    for (const char* name : names)
        EXPECT_NE (reasonFor (name).find (reasonPart), std::string::npos) << "\"" << name << "\" gave \"" << reasonFor (name) << "\"";
}
} // namespace

TEST (WindowsFileNamesTest, DeviceNamesAreRefusedInAnyCaseAndWithAnyExtension)
{
    expectRefusedFor ({ "AUX.mz", "con.mz", "nul.mz", "PRN", "Prn.mz", "COM1.mz", "com9.MZ", "LPT1.mz", "lPt9.mz", "NUL.tar.gz",
                        "CON .mz", "aux", "COM\xC2\xB9.mz", "conin$.mz", "CONOUT$" },
                      "reserves this name for a device");
}

TEST (WindowsFileNamesTest, NamesThatOnlyLookLikeDevicesAreStored)
{
    for (const char* name : { "COM10.mz", "LPT10.mz", "COM.mz", "LPT.mz", "CONSOLE.mz", "auxiliary.mz", "con_.mz", "xcon.mz", "nul1.mz",
                              "mycom1.mz", "Preset01.mz", ".mz", "a b.mz", "Pr\xC3\xA9set \xE6\x97\xA5\xE6\x9C\xAC.mz", "COM\xC2\xB9x.mz" })
        EXPECT_EQ (reasonFor (name), "") << name;
}

TEST (WindowsFileNamesTest, StreamsTrailingDotsOrSpacesAndForbiddenCharactersAreRefused)
{
    expectRefusedFor ({ "a:b.mz", "preset.mz:hidden", ":", "c:.mz" }, "hidden data stream");
    expectRefusedFor ({ "preset.", "preset.mz.", "preset.mz ", " ", "..." }, "dot or space at the end");
    expectRefusedFor ({ "a<b.mz", "a>b.mz", "say\"hi\".mz", "a|b.mz", "what?.mz", "star*.mz", "tab\t.mz", "bell\x07.mz", "x\x1f.mz",
                        "back\\slash.mz", "for/ward.mz" },
                      "character that Windows does not allow");
    expectRefusedFor ({ "" }, "empty");
}

TEST (WindowsFileNamesTest, NamesThatAreNotUtf8HaveNoWideFormAndAreRefused)
{
    expectRefusedFor ({ "\xff.mz", "caf\xe9.mz", "cut\xC3", "\xC0\xAF.mz", "\xE6\x97.mz" }, "not valid UTF-8");
    EXPECT_EQ (reasonFor ("\xF0\x9F\x8E\xB9.mz"), "") << "four-byte UTF-8 is fine";
}
