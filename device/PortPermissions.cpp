#include "device/PortPermissions.h"

#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

std::string portRefusedForPermissions;

namespace
{
const char* const udevRule = "KERNEL==\"ttyACM[0-9]*\", TAG+=\"uaccess\"";

struct DeviceAccess
{
    std::string owner, group;
    unsigned mode = 0;
    bool groupMayReadWrite = false;
};

std::string userName (uid_t uid)
{
    if (const passwd* entry = ::getpwuid (uid))
        return entry->pw_name;
    return std::to_string (uid);
}

std::string groupName (gid_t gid)
{
    if (const group* entry = ::getgrgid (gid))
        return entry->gr_name;
    return std::to_string (gid);
}

DeviceAccess accessOf (const std::string& path)
{
    DeviceAccess access;
    struct stat info;
    if (::stat (path.c_str(), &info) != 0)
        return access;
    access.owner = userName (info.st_uid);
    access.group = groupName (info.st_gid);
    access.mode = (unsigned) (info.st_mode & 07777);
    access.groupMayReadWrite = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return access;
}

bool groupIsTheFix (const DeviceAccess& access)
{
    return access.groupMayReadWrite && access.group != "root";
}

std::string groupFix (const DeviceAccess& access)
{
    return "add the user to the " + access.group + " group (sudo usermod -aG " + access.group + " "
           + userName (::geteuid()) + ") and log in again";
}

// A group that may read and write is the usual fix; otherwise only a udev rule helps.
std::string logFix (const DeviceAccess& access)
{
    const std::string rule = std::string ("a udev rule in /etc/udev/rules.d/ such as ") + udevRule;
    return groupIsTheFix (access) ? groupFix (access) + ", or allow the device with " + rule
                                  : "allow the device with " + rule;
}
} // namespace

void notePermissionRefusal (const std::string& path)
{
    const DeviceAccess access = accessOf (path);
    std::printf ("Permission denied on %s (owner %s, group %s, mode %04o) for user %s: %s\n",
                 path.c_str(), access.owner.c_str(), access.group.c_str(), access.mode,
                 userName (::geteuid()).c_str(), logFix (access).c_str());
    if (portRefusedForPermissions.empty())
        portRefusedForPermissions = path;
}

std::string permissionAdvice (const std::string& path)
{
    const DeviceAccess access = accessOf (path);
    return "The serial port " + path + " is there but this user may not open it: "
           + (groupIsTheFix (access) ? groupFix (access) : "allow it with a udev rule (the communication log shows one)") + ".";
}
