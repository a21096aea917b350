// Reads a dialog template (DLGTEMPLATEEX) out of a module's resources, so that resource
// tests can check sizes, captions, fonts and every control as the program carries them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct TemplateControl {
    int id;
    std::wstring cls;  // class name; Button, Edit, Static, ComboBox for the predefined ones
    std::wstring text;
    int x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    std::wstring caption, font;
    int pointSize = 0;
    std::vector<TemplateControl> controls;  // in template (tab) order
};

// False when the module has no such dialog or it is not an extended template.
bool readDialogTemplate(HMODULE module, int id, DialogTemplate& dialog);

// The numeric ids of every dialog resource in the module.
std::vector<int> dialogIds(HMODULE module);

}  // namespace testing_support
