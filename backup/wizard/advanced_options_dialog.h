// The advanced options dialog: default folder, overwrite and the retention rule,
// written straight to the settings file on OK.
#pragma once
#include <windows.h>

// Runs the dialog modally. Returns IDOK or IDCANCEL; *folderChanged tells whether the
// user edited the default-folder field while the dialog was open.
INT_PTR runAdvancedOptionsDialog(HWND owner, bool* folderChanged);
