#include "ini_file.h"

#include "console.h"
#include "platform.h"
#include "screens.h"
#include "text.h"

namespace survin {

bool openText(TextFile& file, const char* path) {
    file.handle = dosplat::openFile(path);
    file.pos = file.len = 0;
    return file.handle >= 0;
}

bool readLine(TextFile& file, char* line, int cch) {
    int n = 0;
    bool any = false;
    for (;;) {
        if (file.pos >= file.len) {
            file.len = file.handle >= 0 ? dosplat::readFile(file.handle, file.buffer, sizeof file.buffer) : 0;
            file.pos = 0;
            if (file.len <= 0) {
                file.len = 0;
                break;
            }
        }
        char c = file.buffer[file.pos++];
        any = true;
        if (c == '\n') break;
        if (n < cch - 1) line[n++] = c;
    }
    line[n] = 0;
    return any;
}

void closeText(TextFile& file) {
    if (file.handle >= 0) dosplat::closeFile(file.handle);
    file.handle = -1;
    file.pos = file.len = 0;
}

void openIniOrExit(State& state) {
    char path[kCchPath];
    text::copy(path, state.szAppDir, sizeof path);
    text::append(path, survinini::kFileName<char>, sizeof path);
    if (!openText(state.hfile, path)) {
        con::printf("Error opening %s file\r\n", path);
        quitAtOnce(state);
    }
}

char* IniLines::operator()() {
    return readLine(state.hfile, state.szline, sizeof state.szline) ? state.szline : nullptr;
}

void ParseIni_1(State& state) {
    using survinini::LineKind;
    openIniOrExit(state);
    IniLines lines{state};
    while (char* text = lines()) {
        const survinini::Line<char> line = survinini::classifyLine(text);
        switch (line.kind) {
        case LineKind::OsString:
            text::copy(state.szOs, line.value, sizeof state.szOs);
            break;
        case LineKind::SysRoot:
            text::copy(state.szRoot, line.value, sizeof state.szRoot);
            break;
        case LineKind::DateTime:
            text::copy(state.szTime, line.value, sizeof state.szTime);
            break;
        case LineKind::Category: {
            uint32_t category = uint32_t(survinini::numberOf(line.value));
            state.dwHives |= category;
            if (category & survinini::kCategorySystem) ++state.nTotHivesSys;
            if (category & survinini::kCategoryCurrentUser) ++state.nTotHivesUsr;
            if (category & survinini::kCategoryOthers) ++state.nTotHivesOth;
            break;
        }
        default:
            break;
        }
    }
    closeText(state.hfile);
    if (!state.dwHives) {
        con::puts("Err getting info. No hives found\r\n");
        quitAtOnce(state);
    }
    state.dwHivesSel = state.dwHives;
}

}  // namespace survin
