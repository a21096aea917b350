// Backup folders and every file in them are for administrators only: SYSTEM and the
// Administrators group have full control, and nothing is inherited from the folder above.
// Under the default %SystemRoot%\Tolmen\<date>\ every user could otherwise read the saved
// SAM and SECURITY hives. The same holds for the private copies that the hive check makes
// of saved hives. A file system that keeps no ACLs (FAT, exFAT) keeps none of this; the
// backup goes on without it.
#pragma once
#include <windows.h>

#include <string>

#include "handles.h"

// For CreateDirectory: the entries are inherited by everything made inside.
SECURITY_ATTRIBUTES* adminOnlyFolderAttributes();
// For CreateFile and the registry's save calls.
SECURITY_ATTRIBUTES* adminOnlyFileAttributes();

// Gives an open file or folder (opened with WRITE_DAC) the administrators-only DACL,
// without passing it on to what the folder holds already. False when the file system
// keeps none.
bool makeAdminOnly(HANDLE handle, bool folder);
// The same by path, for what exists already: a folder the user chose, a file that another
// call wrote. A file that is a link gets the DACL on the link, never on its target; a
// drive root is never changed.
bool makeAdminOnly(const std::wstring& path);

// Opens a file for writing with that DACL, also when CREATE_ALWAYS replaces an existing
// file (which would otherwise keep its own).
FileHandle createAdminOnlyFile(const std::wstring& path, DWORD disposition);
// Copies a file into a new administrators-only file; fails when the target exists. A
// copy that fails half-way leaves no target behind.
bool copyToAdminOnlyFile(const std::wstring& source, const std::wstring& target);
