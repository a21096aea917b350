// Resource ids of the backup program.
#pragma once

#define IDI_TOLMEN 1
#define IDS_CAPTION 128
#define IDB_HEADER 201
#define IDR_SURVIN_EXE 203
#define IDR_SURVIN64_EXE 205

// Dialogs.
#define IDD_WELCOME 100
#define IDD_PROGRESS 101
#define IDD_ADVANCED_OPTIONS 202
#define IDD_BACKUP_BROWSER 204

// Welcome page.
#define IDC_BACKUP_FOLDER 1000
#define IDC_BROWSE 1001
#define IDC_HIVE_SYSTEM 1002
#define IDC_HIVE_USER 1003
#define IDC_HIVE_OTHERS 1004
#define IDC_LINK_OPTIONS 1010
#define IDC_LINK_HELP 1011
#define IDC_LINK_BROWSER 1012

// Progress page.
#define IDC_MAIN_MESSAGE 1006
#define IDC_STATUS 1007
#define IDC_LOG 1018

// Advanced options dialog.
#define IDC_DEF_BACKUP_DIR 1000
#define IDC_OVERWRITE 1003
#define IDC_KEEP_ALL 1012
#define IDC_LIMIT_BY_DAYS 1013
#define IDC_LIMIT_BY_COUNT 1014
#define IDC_LIMIT_DAYS 1015
#define IDC_LIMIT_COUNT 1016

// Backup browser.
#define IDC_DETAILS 1000
#define IDC_RESTORE 1001
#define IDC_DELETE 1002
#define IDC_BACKUP_LIST 1008
#define IDC_VIEW 1019
