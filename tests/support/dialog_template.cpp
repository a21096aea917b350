#include "dialog_template.h"

namespace testing_support {

namespace {

// A name-or-ordinal field: a string, or an ordinal (predefined classes by name).
std::wstring readField(const WORD*& p) {
    if (*p == 0) {
        ++p;
        return {};
    }
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        case 0x85: return L"ComboBox";
        default: return L"#" + std::to_wstring(ordinal);
        }
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(p));
    p += text.size() + 1;
    return text;
}

BOOL CALLBACK collectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<int>*>(param)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

const WORD* alignDword(const WORD* p) {
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

}  // namespace

bool readDialogTemplate(HMODULE module, int id, DialogTemplate& dialog) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!info) return false;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, info)));
    if (!p || p[0] != 1 || p[1] != 0xFFFF) return false;  // DLGTEMPLATEEX only
    dialog = DialogTemplate();
    dialog.style = *reinterpret_cast<const DWORD*>(p + 6);
    const int count = p[8];
    dialog.x = static_cast<short>(p[9]);
    dialog.y = static_cast<short>(p[10]);
    dialog.cx = static_cast<short>(p[11]);
    dialog.cy = static_cast<short>(p[12]);
    p += 13;
    readField(p);  // menu
    readField(p);  // class
    dialog.caption = readField(p);
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = p[0];
        p += 3;  // point size, weight, italic and charset
        dialog.font = readField(p);
    }
    for (int i = 0; i < count; ++i) {
        p = alignDword(p);
        TemplateControl control;
        control.style = *reinterpret_cast<const DWORD*>(p + 4);
        control.x = static_cast<short>(p[6]);
        control.y = static_cast<short>(p[7]);
        control.cx = static_cast<short>(p[8]);
        control.cy = static_cast<short>(p[9]);
        control.id = static_cast<int>(*reinterpret_cast<const LONG*>(p + 10));
        p += 12;
        control.cls = readField(p);
        control.text = readField(p);
        const WORD extra = *p++;  // creation data, in bytes
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        dialog.controls.push_back(control);
    }
    return true;
}

std::vector<int> dialogIds(HMODULE module) {
    std::vector<int> ids;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, collectId, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

}  // namespace testing_support
