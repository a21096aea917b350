// Resource ids of the restore program.
#pragma once

#define IDI_SURVIN 1
#define IDS_CAPTION 128
#define IDB_HEADER 201

// Wizard pages and the advanced options dialog.
#define IDD_WELCOME 100
#define IDD_PROGRESS 101
#define IDD_OPTIONS 203

// Welcome page.
#define IDC_BACKUP_INFO 1006
#define IDC_RESTORE_INFO 1007
#define IDC_OPTIONS_LINK 1010
#define IDC_HELP_LINK 1011

// Progress page.
#define IDC_MAIN_TEXT 1006
#define IDC_STATUS_TEXT 1007
#define IDC_SHOW_PROGRESS 1009
#define IDC_PROGRESS_LIST 1021

// Advanced options.
#define IDC_CAT_SYSTEM 1002
#define IDC_CAT_CURRENT_USER 1003
#define IDC_CAT_OTHERS 1004
#define IDC_MODE_LIST 1018
#define IDC_BACKUP_EXISTING 1019
#define IDC_TARGET_LIST 1020
