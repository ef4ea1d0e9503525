// Everything the token core asks of the operating system about the user and
// the machine: home and data folders, login and full name, machine identity
// and fresh UUIDs.  Nothing here is cached; every call asks again, so a
// changed HOME or XDG_DATA_HOME takes effect at once.
#pragma once

#include <initializer_list>
#include <string>

#include "core/token/ResultCodes.h"

// The machine's identity as two parts; a part the system does not deliver
// is empty.  Linux has no serial number to offer, so that part stays empty.
struct _machineIdentity {
    std::string strPlatformUUID;
    std::string strSerialNumber;
};

// $HOME when set and non-empty, else the home folder of the effective
// user's passwd entry.  E_FAIL when neither gives a folder.
RESULT PlatformGetHomeDirectory(std::string& strHome);

// $XDG_DATA_HOME when set to an absolute path, else $HOME/.local/share.
RESULT PlatformGetDataDirectory(std::string& strData);

// The passwd name of the effective uid.  E_FAIL when there is no entry.
RESULT PlatformGetLoginName(std::string& strLogin);

// The first comma field of the passwd GECOS field, or the login name when
// that field is empty.
RESULT PlatformGetFullUserName(std::string& strFullName);

// Full name from a GECOS text: its first comma field, else strLogin.
std::string PlatformFullNameFromGecos(const char* pszGecos, const std::string& strLogin);

// /etc/machine-id, else /var/lib/dbus/machine-id; the serial part is empty.
void PlatformGetMachineIdentity(_machineIdentity& stIdentity);

// The trimmed content of the first of the files that holds a non-empty id;
// empty when none does.  Only the first 4 KiB of a file are looked at.
std::string PlatformReadFirstMachineId(std::initializer_list<const char*> lstPaths);

// A fresh random UUID in its 36-character text form (uuid_unparse).
RESULT PlatformGenerateUUID(std::string& strUUID);
