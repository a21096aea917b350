// Resource ids of the restore program.
#pragma once

#define IDI_SURVIN 1
#define IDS_CAPTION 128
#define IDB_HEADER 201
