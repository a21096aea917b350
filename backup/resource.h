// Resource ids of the backup program.
#pragma once

#define IDI_TOLMEN 1
#define IDS_CAPTION 128
#define IDB_HEADER 201
#define IDR_SURVIN_EXE 203
