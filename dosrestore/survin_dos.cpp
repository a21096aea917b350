#include "survin_dos.h"

#include "console.h"
#include "copy_checks.h"
#include "ini_file.h"
#include "platform.h"
#include "restore.h"
#include "screens.h"
#include "text.h"

namespace survin {

namespace {

// The main screen until Enter; F2 and F3 change the root and the groups and draw it anew.
void mainScreen(State& state) {
    for (;;) {
        PrintInfo(state);
        clear();
        con::puts("Press key(s) shown in the statusbar to modify options or\r\n");
        con::puts("Press the Enter key to start restoration\r\n");
        con::cursorHidden();
        for (bool redraw = false; !redraw;) {
            int key = con::readKey();
            if (key == con::kKeyEnter) {
                return;
            } else if (key == con::kKeyEsc) {
                quitAtOnce(state);
            } else if (key == con::kKeyF3) {
                clear();
                state.dwHivesSel = SelectHivesFromUser(state);
                redraw = true;
            } else if (key == con::kKeyF2) {
                clear();
                SelectOsRoot(state);
                redraw = true;
            }
        }
    }
}

// Whether to keep the live hives as ".bak" copies; Esc ends the program.
void askForBakCopies(State& state) {
    clear();
    PrintStatusBar("Press Esc if you want to abort");
    con::cursorNormal();
    con::puts("\r\nDo you want to backup existing hives (Y/N)?");
    for (;;) {
        int key = con::readKey();
        if (key == 'n' || key == 'N') {
            state.bBackup = 0;
            return;
        } else if (key == con::kKeyEsc) {
            quitAtOnce(state);
        } else if (key == 'y' || key == 'Y' || key == con::kKeyEnter) {
            return;
        }
    }
}

}  // namespace

void resetState(State& state) {
    state.bBackup = 1;
    state.dwHives = state.dwHivesSel = 0;
    state.nTotHivesSys = state.nTotHivesUsr = state.nTotHivesOth = 0;
    state.hfile.handle = -1;
    state.hfile.pos = state.hfile.len = 0;
    state.szline[0] = state.szOs[0] = state.szRoot[0] = state.szTime[0] = state.szAppDir[0] = 0;
    state.startAttr = 0x07;
}

int main(State& state, int argc, char** argv) {
    resetState(state);
    if (argc > 0 && argv[0]) {
        int cut = text::lastIndexOf(argv[0], '\\');
        if (cut >= 0 && cut + 2 <= int(sizeof state.szAppDir)) text::copy(state.szAppDir, argv[0], cut + 2);
    }

    int x, y;
    dosplat::getCursor(&x, &y);
    state.startAttr = dosplat::cellAttr(x, y);
    con::clearScreen();
    con::setAttr(kAttrTitle);
    con::puts("Program to restore registry from backup to your Windows folder");
    con::clearToEol();
    PrintStatusBar(nullptr);
    con::setAttr(kAttrWork);

    ParseIni_1(state);
    mainScreen(state);
    askForBakCopies(state);

    clear();
    con::cursorHidden();
    if (!PathIsDirectory(state.szRoot)) {
        con::puts("Windows root does not exist or invalid.");
        quitAtOnce(state);
    }

    Start(state);

    clear();
    con::puts("Finsihed restoring registry.\r\nPress any key to exit.");
    PrintStatusBar("Finished");
    con::readKey();
    con::setAttr(state.startAttr);
    con::cursorNormal();
    con::clearScreen();
    dosplat::exitProgram(0);
}

}  // namespace survin
