// Radio button groups in every dialog of both shipped programs, read from Tolmen.exe and
// SURVIN.EXE themselves. The dialog manager forms a group from a control with WS_GROUP up
// to the next such control: clicking an auto radio button unchecks only the other buttons
// of its group, and the arrow keys step to whatever control comes next in the group. So
// the buttons that belong together must form one group that holds nothing else.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "test_support.h"

using testing_support::DialogTemplate;
using testing_support::TemplateControl;
using testing_support::toUtf8;

namespace {

struct IntendedGroup {
    const wchar_t* program;
    int dialog;
    std::vector<int> radios;  // in template order
};

// Every radio group the two programs have. A dialog that gains radio buttons lists its
// groups here, as the dialog is meant to be, not as the template happens to be.
const IntendedGroup kIntendedGroups[] = {
    // The advanced options dialog: keep all, delete by age, keep the newest.
    {L"Tolmen.exe", 202, {1012, 1013, 1014}},
};

struct Program {
    const wchar_t* name;
    std::wstring path;
};

std::vector<Program> programs() {
    return {{L"Tolmen.exe", testing_support::programFile(L"Tolmen.exe")},
            {L"Survin.exe", testing_support::distFile(L"Survin.exe")}};
}

class LoadedProgram {
public:
    explicit LoadedProgram(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~LoadedProgram() {
        if (module_) FreeLibrary(module_);
    }
    LoadedProgram(const LoadedProgram&) = delete;
    LoadedProgram& operator=(const LoadedProgram&) = delete;
    HMODULE module() const { return module_; }

private:
    HMODULE module_;
};

bool isRadio(const TemplateControl& control) {
    const DWORD type = control.style & BS_TYPEMASK;
    return lstrcmpiW(control.cls.c_str(), L"Button") == 0 && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
}

std::string describe(const TemplateControl& control) {
    return toUtf8(control.cls) + " " + std::to_string(control.id) + " \"" + toUtf8(control.text) + "\"";
}

const IntendedGroup* intendedGroupOf(const wchar_t* program, int dialog, int id) {
    for (const IntendedGroup& group : kIntendedGroups) {
        if (lstrcmpiW(group.program, program) != 0 || group.dialog != dialog) continue;
        if (std::find(group.radios.begin(), group.radios.end(), id) != group.radios.end()) return &group;
    }
    return nullptr;
}

// A template control's index by id, or -1.
int indexOf(const DialogTemplate& dialog, int id) {
    for (size_t i = 0; i < dialog.controls.size(); ++i)
        if (dialog.controls[i].id == id) return static_cast<int>(i);
    return -1;
}

// The template must hold the group's buttons one after another, the first starting the
// group and the control after the last starting the next one.
void expectUnbrokenInTemplate(const DialogTemplate& dialog, const IntendedGroup& group) {
    std::vector<int> at;
    for (int id : group.radios) {
        at.push_back(indexOf(dialog, id));
        ASSERT_GE(at.back(), 0) << "radio " << id << " is missing";
        ASSERT_TRUE(isRadio(dialog.controls[at.back()])) << describe(dialog.controls[at.back()]);
    }
    const TemplateControl& first = dialog.controls[at.front()];
    EXPECT_TRUE(first.style & WS_GROUP) << describe(first) << " does not start its group";
    EXPECT_TRUE(first.style & WS_TABSTOP) << describe(first) << ": the tab key cannot reach the group";
    for (size_t k = 0; k + 1 < at.size(); ++k) {
        const std::string from = describe(dialog.controls[at[k]]), to = describe(dialog.controls[at[k + 1]]);
        ASSERT_LT(at[k], at[k + 1]) << to << " comes before " << from;
        for (int i = at[k] + 1; i < at[k + 1]; ++i) {
            const TemplateControl& between = dialog.controls[i];
            if (between.style & WS_GROUP)
                ADD_FAILURE() << describe(between) << " starts a new group, so " << to << " is cut off from " << from;
            else
                ADD_FAILURE() << describe(between) << " stands between " << from << " and " << to
                              << ": the arrow keys stop at it";
        }
        EXPECT_FALSE(dialog.controls[at[k + 1]].style & WS_GROUP) << to << " starts a group of its own";
    }
    const size_t after = static_cast<size_t>(at.back()) + 1;
    if (after < dialog.controls.size()) {
        EXPECT_TRUE(dialog.controls[after].style & WS_GROUP)
            << describe(dialog.controls[after]) << " joins the group of " << describe(dialog.controls[at.back()]);
    }
}

INT_PTR CALLBACK inertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Creates the dialog, hidden, and asks the dialog manager which control the arrow keys
// reach from each button: the next button of the group, and from the last the first again.
void expectArrowKeysCycle(HMODULE module, const IntendedGroup& group) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(group.dialog), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    ASSERT_TRUE(info);
    auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, info)));
    ASSERT_TRUE(dialogTemplate);
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialogTemplate, nullptr, inertDialogProc, 0);
    ASSERT_TRUE(dialog);
    const size_t n = group.radios.size();
    for (size_t k = 0; k < n; ++k) {
        const int here = group.radios[k], next = group.radios[(k + 1) % n];
        EXPECT_EQ(GetDlgCtrlID(GetNextDlgGroupItem(dialog, GetDlgItem(dialog, here), FALSE)), next)
            << "the down arrow from " << here;
        EXPECT_EQ(GetDlgCtrlID(GetNextDlgGroupItem(dialog, GetDlgItem(dialog, next), TRUE)), here)
            << "the up arrow from " << next;
    }
    DestroyWindow(dialog);
}

}  // namespace

TEST(RadioGroups, EveryRadioButtonOfBothProgramsBelongsToAnIntendedGroup) {
    for (const Program& program : programs()) {
        SCOPED_TRACE(toUtf8(program.name));
        LoadedProgram loaded(program.path);
        ASSERT_TRUE(loaded.module()) << toUtf8(program.path);
        const std::vector<int> ids = testing_support::dialogIds(loaded.module());
        ASSERT_GE(ids.size(), 3u) << "the program's dialogs were not found";
        for (int id : ids) {
            DialogTemplate dialog;
            ASSERT_TRUE(testing_support::readDialogTemplate(loaded.module(), id, dialog)) << "dialog " << id;
            for (const TemplateControl& control : dialog.controls) {
                if (!isRadio(control)) continue;
                EXPECT_TRUE(intendedGroupOf(program.name, id, control.id))
                    << "dialog " << id << ": " << describe(control) << " is in no intended group";
            }
        }
    }
}

TEST(RadioGroups, EachIntendedGroupIsOneGroupThatTheArrowKeysCycle) {
    for (const IntendedGroup& group : kIntendedGroups) {
        SCOPED_TRACE(toUtf8(group.program) + " dialog " + std::to_string(group.dialog));
        const bool tolmen = lstrcmpiW(group.program, L"Tolmen.exe") == 0;
        LoadedProgram loaded(tolmen ? testing_support::programFile(L"Tolmen.exe")
                                    : testing_support::distFile(group.program));
        ASSERT_TRUE(loaded.module());
        DialogTemplate dialog;
        ASSERT_TRUE(testing_support::readDialogTemplate(loaded.module(), group.dialog, dialog));
        expectUnbrokenInTemplate(dialog, group);
        expectArrowKeysCycle(loaded.module(), group);
    }
}
