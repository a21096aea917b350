#include "screens.h"

#include "console.h"
#include "copy_checks.h"
#include "platform.h"
#include "text.h"

namespace survin {

namespace {

// Blanks rows first..last in the current colour; the cursor goes to column 1 of first.
void blankRows(int first, int last) {
    for (int y = first; y <= last; ++y) {
        con::gotoXY(1, y);
        con::clearToEol();
    }
    con::gotoXY(1, first);
}

}  // namespace

void quitAtOnce(const State& state) {
    int y = con::whereX() > 1 ? con::whereY() + 1 : con::whereY();
    if (y > dosplat::kScreenRows - 1) y = dosplat::kScreenRows - 1;
    for (int row = 1; row <= dosplat::kScreenRows; ++row) {
        for (int x = 1; x <= dosplat::kScreenCols; ++x) {
            dosplat::putCell(x, row, row == dosplat::kScreenRows ? ' ' : dosplat::cellChar(x, row), state.startAttr);
        }
    }
    con::setAttr(state.startAttr);
    con::cursorNormal();
    con::gotoXY(1, y);
    dosplat::exitProgram(0);
}

void clear() {
    con::setAttr(kAttrWork);
    blankRows(10, 24);
}

void ClearMsg() { blankRows(13, 16); }

void PrintStatusBar(const char* text) {
    uint8_t attr = con::attr();
    con::setAttr(kAttrStatus);
    con::gotoXY(1, 25);
    con::clearToEol();
    con::gotoXY(2, 25);
    if (text) {
        // Kept within the row: a character in its last cell would scroll the screen.
        char cut[dosplat::kScreenCols - 1];
        text::copy(cut, text, sizeof cut);
        con::puts(cut);
    } else {
        static const char* const kPairs[][2] = {
            {"F2", "Change Root"},
            {"F3", "Change Hives"},
            {"Esc", "Quit"},
            {"Enter", "Start Restoration"},
        };
        for (const auto& pair : kPairs) {
            con::setAttr(kAttrStatusKey);
            con::printf("%s ", pair[0]);
            con::setAttr(kAttrStatus);
            con::printf("%s  ", pair[1]);
        }
    }
    con::setAttr(attr);
    con::gotoXY(1, 10);
}

void PrintInfo(const State& state) {
    con::setAttr(kAttrInfo);
    blankRows(2, 9);
    con::puts("\r\nTolmen Info:\r\n\r\n");
    con::printf("%20s = %s\r\n", "OS", state.szOs);
    con::printf("%20s = %s\r\n", "Windows Root", state.szRoot);
    con::printf("%20s = %s\r\n", "Date & Time", state.szTime);
    con::printf("%20s = ", "Hives Selected");
    char names[32] = "";
    if (state.dwHivesSel & survinini::kCategorySystem) text::append(names, "System, ", sizeof names);
    if (state.dwHivesSel & survinini::kCategoryCurrentUser) text::append(names, "User, ", sizeof names);
    if (state.dwHivesSel & survinini::kCategoryOthers) text::append(names, "Others, ", sizeof names);
    int n = text::length(names);
    if (n >= 2) names[n - 2] = 0;
    con::printf("%s\r\n", names);
    con::gotoXY(1, 10);
}

int EditBox(char* result, int cchResult, int x, int y, int width, const char* initial) {
    int savedX = con::whereX(), savedY = con::whereY();
    uint8_t attr = con::attr();
    con::cursorNormal();
    PrintStatusBar("Press Enter key to finish the string input");

    con::setAttr(kAttrField);
    con::gotoXY(x, y);
    for (int i = 0; i < width; ++i) con::putChar(' ');
    con::gotoXY(x, y);
    for (const char* p = initial; *p; ++p) con::putChar(*p);

    const int lastColumn = x + width - 1;
    int key;
    for (;;) {
        key = con::readKey();
        if (key == con::kKeyEnter || key == con::kKeyEsc) break;
        if (key == con::kKeyBackspace || key == con::kKeyLeft) {
            int cx = con::whereX(), cy = con::whereY();
            if (cx > x) {
                con::gotoXY(cx - 1, cy);
                con::putChar(' ');
                con::gotoXY(cx - 1, cy);
            }
        } else if (key >= 32 && key <= 126) {
            if (con::whereX() < lastColumn) con::putChar(char(key));
        }
    }

    if (key == con::kKeyEnter) {
        // What the field shows, up to the first blank, without its last cell.
        int n = 0;
        for (int cx = x; cx < lastColumn && cx <= dosplat::kScreenCols && n < cchResult - 1; ++cx) {
            char c = con::charAt(cx, y);
            if (c == ' ') break;
            result[n++] = c;
        }
        result[n] = 0;
    } else {
        text::copy(result, initial, cchResult);
    }

    PrintStatusBar(nullptr);
    con::setAttr(attr);
    con::gotoXY(savedX, savedY);
    return 1;
}

void SelectOsRoot(State& state) {
    int x = con::whereX(), y = con::whereY();
    clear();
    for (;;) {
        con::gotoXY(x, y);
        con::puts("Enter Windows root :");
        char input[kCchValue];
        EditBox(input, sizeof input, con::whereX(), con::whereY(), 20, state.szRoot);
        con::setAttr(kAttrWork);
        if (input[0] && PathIsDirectory(input)) {
            text::copy(state.szRoot, input, sizeof state.szRoot);
            con::gotoXY(x, y);
            return;
        }
        con::gotoXY(x, y + 1);
        con::clearToEol();
        con::puts("Path does not exist or invalid.");
    }
}

uint32_t SelectHivesFromUser(const State& state) {
    struct Group {
        uint32_t bit;
        char letter;
        const char* label;
    };
    static const Group kGroups[] = {
        {survinini::kCategorySystem, 's', "(S)ystem "},
        {survinini::kCategoryCurrentUser, 'u', "(U)ser "},
        {survinini::kCategoryOthers, 'o', "(O)thers "},
    };
    int x = con::whereX(), y = con::whereY();
    con::cursorNormal();
    clear();
    for (;;) {
        con::puts("Enter the hives to restore :");
        char initial[4] = "";
        int n = 0;
        for (const Group& group : kGroups) {
            if (state.dwHives & group.bit) con::puts(group.label);
            if (state.dwHivesSel & group.bit) initial[n++] = char(group.letter - 'a' + 'A');
        }
        initial[n] = 0;
        char input[kCchValue];
        EditBox(input, sizeof input, con::whereX() + 2, con::whereY(), 20, initial);

        uint32_t mask = 0;
        for (const char* p = input; *p; ++p) {
            for (const Group& group : kGroups) {
                if (text::toLower(*p) == group.letter && (state.dwHives & group.bit)) mask |= group.bit;
            }
        }
        if (mask) {
            con::gotoXY(x, y);
            return mask;
        }
        con::puts("\r\nNo hives selected. Do you want to exit (Y/N)?");
        int key = con::readKey();
        if (key == 'y' || key == 'Y' || key == con::kKeyEsc) quitAtOnce(state);
        clear();
        con::puts("\r\nPlease selected at least one hive\r\n");
    }
}

int MsgYesNo(const char* question) {
    int x = con::whereX(), y = con::whereY();
    con::setAttr(kAttrInfo);
    blankRows(17, 18);
    con::puts(question);
    con::cursorNormal();
    int answer = -1;
    while (answer < 0) {
        int key = con::readKey();
        if (key == 'n' || key == 'N' || key == con::kKeyEsc) answer = 0;
        if (key == 'y' || key == 'Y' || key == con::kKeyEnter) answer = 1;
    }
    con::cursorHidden();
    con::setAttr(kAttrWork);
    blankRows(17, 18);
    con::gotoXY(x, y);
    return answer;
}

void DrawProgress(int done, int total) {
    int x = con::whereX(), y = con::whereY();
    // A backup whose categories carry no known group bit gives total 0.
    int32_t n = total > 0 ? int32_t(done) * 60 / total : 0;
    if (n > 60) n = 60;
    if (n < 0) n = 0;
    con::gotoXY(10, 20);
    con::setAttr(kAttrProgress);
    for (int i = 0; i < n; ++i) con::putChar(' ');
    con::setAttr(kAttrWork);
    for (int i = n; i < 60; ++i) con::putChar(char(0xB1));
    con::gotoXY(x, y);
}

}  // namespace survin
