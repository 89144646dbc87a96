#include "device/InstrumentCommands.h"

namespace instrument
{
const char* const deviceRoot = "/usr/ap";
const char* const deviceRootSlash = "/usr/ap/";
const char* const usrDirectory = "/usr/";
const char* const tmpDirectory = "/tmp/";
const char* const presetsDirectory = "/usr/ap/presets/";
const char* const mainProgram = "/usr/ap/main";

const char* const cdDeviceRoot = "cd /usr/ap";
const char* const readSerialNumber = "read_mac_sn";
const char* const serialNumberTag = "SN : ";
const char* const promptSuffix = " # ";

const char* const cdPrefix = "cd ";
const char* const lsPrefix = "ls ";
const char* const lsCommand = "ls";
const char* const md5sumPrefix = "md5sum ";
const char* const rmPrefix = "rm ";
const char* const rmRecursivePrefix = "rm -r ";
const char* const mvPrefix = "mv ";
const char* const chmodMain = "chmod +x /usr/ap/main";
const char* const chmodExecutablePrefix = "chmod +x ";
const char* const stopMain = "fuser -k /usr/ap/main";
const char* const receiveCommand = "rz\r";
const char* const sendPrefix = "lsz ";
const char* const sendAllPresets = "lsz *.mz";
const char* const remountReadWrite = "mount -o remount,rw /usr";
const char* const remountReadOnly = "mount -o remount,ro /usr";
const char* const powerOff = "poweroff";

const char* const firmwareVersionFile = "config.xml";
const char* const dreamVersionFile = "dream_version.xml";
const char* const soundVersionFile = "sound_version.xml";
const char* const wavetableFile = "wavetable.bin";
const char* const wavetableTextFile = "wavetable.txt";
const char* const presetPattern = "*.mz";
const char* const stagingPrefix = ".vorlen-update.";
} // namespace instrument
