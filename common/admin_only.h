// Backup folders and every file in them are for administrators only: SYSTEM and the
// Administrators group have full control, and nothing is inherited from the folder above.
// Under the default %SystemRoot%\Tolmen\<date>\ every user could otherwise read the saved
// SAM and SECURITY hives. The same holds for the private copies that the hive check makes
// of saved hives. A file system that keeps no ACLs (FAT, exFAT) keeps none of this; the
// backup goes on without it.
//
// On a network share those two names would be the server's own accounts: a run as SYSTEM
// (the computer's account there) would lock itself out of what it made. What goes to a
// share takes the permissions the share passes on, which its administrator chose.
//
// The other way round, both programs run elevated and must not act on what another local
// user made: the tests below tell whether an object was made, and can only be changed, by
// an administrator.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "handles.h"

// For CreateDirectory: the entries are inherited by everything made inside.
SECURITY_ATTRIBUTES* adminOnlyFolderAttributes();
// For CreateFile and the registry's save calls.
SECURITY_ATTRIBUTES* adminOnlyFileAttributes();
// For named kernel objects (the single-instance mutex).
SECURITY_ATTRIBUTES* adminOnlyObjectAttributes();
// The descriptors themselves, for calls that take one (NULL when they could not be made).
PSECURITY_DESCRIPTOR adminOnlyFolderSecurity();
PSECURITY_DESCRIPTOR adminOnlyFileSecurity();

// Gives an open file or folder (opened with WRITE_DAC) the administrators-only DACL,
// without passing it on to what the folder holds already. False when the file system
// keeps none.
bool makeAdminOnly(HANDLE handle, bool folder);
// The same by path, for a file that another call wrote. A file that is a link gets the
// DACL on the link, never on its target; a drive root and anything on a network share are
// never changed.
bool makeAdminOnly(const std::wstring& path);

// The file attributes for a new file at path: administrators only, none (inherited) on a
// network share.
SECURITY_ATTRIBUTES* adminOnlyFileAttributesFor(const std::wstring& path);

// Opens a file for writing with that DACL, also when CREATE_ALWAYS replaces an existing
// file (which would otherwise keep its own); on a network share with what the share gives.
FileHandle createAdminOnlyFile(const std::wstring& path, DWORD disposition);
// Copies a file into a new administrators-only file; fails when the target exists. A
// copy that fails half-way leaves no target behind.
bool copyToAdminOnlyFile(const std::wstring& source, const std::wstring& target);
// Copies a file into an open, empty file. False, with the last error, when a read or
// write fails.
bool copyFileInto(const std::wstring& source, HANDLE target);

// An owner that no other local user can give an object: Administrators, SYSTEM, the
// system's installer service, or the account this process runs as (its user or its
// default owner). On Windows an elevated
// administrator's objects belong to Administrators and a task's to SYSTEM; Wine gives
// every file the user's own SID.
bool isTrustedOwner(PSID owner);
// A named kernel object (opened with READ_CONTROL) whose owner is trusted.
bool isMadeByAdmins(HANDLE object);
// An open file or folder (opened with READ_CONTROL) whose owner is trusted.
bool isOwnedByAdmins(HANDLE handle);
// The owner of an open file or folder (opened with READ_CONTROL) as the bytes of its SID;
// empty when it cannot be read. On a share it is the account the server gives.
std::vector<BYTE> ownerOf(HANDLE handle);
// An open file or folder whose owner is exactly that SID (never an empty one).
bool isOwnedBy(HANDLE handle, const std::vector<BYTE>& owner);
// An open file or folder (opened with READ_CONTROL) that is owned by a trusted owner and
// whose DACL gives nobody else a right to change it (othersMayRead) or any right at all.
// Entries that only pass on to what a folder holds do not count. A missing DACL (every
// right to everyone) fails.
bool isAdminOnly(HANDLE handle, bool othersMayRead);
