// The restore programs that the backup program carries and writes into every backup.
#pragma once
#include <windows.h>

// The restore programs a program carries as resources (type "BIN", Chinese (PRC)),
// by the resource ids the program gives them: the 32-bit one, whose file is also the
// DOS program, written as SURVIN.EXE, and the 64-bit one for Windows RE, where no 32-bit
// program starts, as SURVIN64.EXE. 0: not carried.
struct CarriedPrograms {
    WORD restoreProgram = 0;
    WORD restoreProgram64 = 0;
};
