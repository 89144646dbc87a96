#pragma once

// What the application types into the instrument's shell, the paths it relies on there and
// the answers it expects, in one place.

namespace instrument
{
extern const char* const deviceRoot;        // "/usr/ap"
extern const char* const deviceRootSlash;   // "/usr/ap/"
extern const char* const usrDirectory;      // "/usr/"
extern const char* const tmpDirectory;      // "/tmp/"
extern const char* const presetsDirectory;  // "/usr/ap/presets/"
extern const char* const mainProgram;       // "/usr/ap/main"

extern const char* const cdDeviceRoot;      // "cd /usr/ap"
extern const char* const readSerialNumber;  // "read_mac_sn"
extern const char* const serialNumberTag;   // "SN : "
extern const char* const promptSuffix;      // " # "

extern const char* const cdPrefix;          // "cd "
extern const char* const lsPrefix;          // "ls "
extern const char* const lsCommand;         // "ls"
extern const char* const md5sumPrefix;      // "md5sum "
extern const char* const rmPrefix;          // "rm "
extern const char* const rmRecursivePrefix; // "rm -r "
extern const char* const mvPrefix;          // "mv "
extern const char* const chmodMain;         // "chmod +x /usr/ap/main"
extern const char* const chmodExecutablePrefix; // "chmod +x "
extern const char* const stopMain;          // "fuser -k /usr/ap/main"
extern const char* const receiveCommand;    // "rz\r"
extern const char* const sendPrefix;        // "lsz "
extern const char* const sendAllPresets;    // "lsz *.mz"
extern const char* const remountReadWrite;  // "mount -o remount,rw /usr"
extern const char* const remountReadOnly;   // "mount -o remount,ro /usr"
extern const char* const powerOff;          // "poweroff"

extern const char* const firmwareVersionFile;  // "config.xml"
extern const char* const dreamVersionFile;     // "dream_version.xml"
extern const char* const soundVersionFile;     // "sound_version.xml"
extern const char* const wavetableFile;        // "wavetable.bin"
extern const char* const wavetableTextFile;    // "wavetable.txt"
extern const char* const presetPattern;        // "*.mz"
// A new copy lands beside its final path under this prefix and is renamed over the old file
// once it is whole and checked. Hidden, so that "*.mz" and the instrument never take it for
// one of theirs.
extern const char* const stagingPrefix;        // ".vorlen-update."
} // namespace instrument
