// What the DOS restore program shows and asks: the information block, the work area and
// its message and question rows, the status bar, the edit field, the prompts for the
// Windows root and the hive groups, the progress bar, and the end at once.
#pragma once
#include <stdint.h>

#include "survin_dos.h"

namespace survin {

// Screen colours (background * 16 + foreground).
const uint8_t kAttrTitle = 0x74;
const uint8_t kAttrInfo = 0x1E;
const uint8_t kAttrWork = 0x1F;
const uint8_t kAttrStatus = 0x70;
const uint8_t kAttrStatusKey = 0x74;
const uint8_t kAttrField = 0x70;
const uint8_t kAttrProgress = 0x55;

// Rows 2-9: the backup's OS, Windows root, date and the selected groups.
void PrintInfo(const State& state);
// Blanks the work area, rows 10-24, in its colour; cursor to row 10, column 1.
void clear();
// Blanks the message rows 13-16; cursor to row 13.
void ClearMsg();
// Row 25: text, or the default keys when text is nullptr. Cursor to row 10, column 1.
void PrintStatusBar(const char* text);
// One-line input of width cells at column x of row y, starting with initial: Enter takes
// what the field shows (up to its first blank, without its last cell), Esc gives back
// initial. Returns 1.
int EditBox(char* result, int cchResult, int x, int y, int width, const char* initial);
// Asks for the Windows root until the user gives an existing folder.
void SelectOsRoot(State& state);
// Asks for the hive groups; returns a non-empty selection, or ends the program.
uint32_t SelectHivesFromUser(const State& state);
// Asks question on row 17: 1 for y, Y and Enter, 0 for n, N and Esc.
int MsgYesNo(const char* question);
// Row 20, columns 10-69: done of total.
void DrawProgress(int done, int total);

// Ends the program at once, leaving its last text on the screen to be read, but in the
// colour the screen had before, with the normal cursor below that text and the status bar
// (whose keys no longer work) blanked.
[[noreturn]] void quitAtOnce(const State& state);

}  // namespace survin
