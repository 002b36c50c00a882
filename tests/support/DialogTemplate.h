#ifndef KESTRUNE_TESTS_DIALOGTEMPLATE_H
#define KESTRUNE_TESTS_DIALOGTEMPLATE_H

// A dialog template as a module stores it (the classic DLGTEMPLATE layout), read back.

#include <windows.h>

#include <string>
#include <vector>

struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::wstring className;  // a predefined class by its name: "BUTTON", "STATIC", ...
    std::wstring text;
};

struct DialogTemplate {
    bool found;
    DWORD style;
    short x, y, cx, cy;
    std::wstring caption;
    WORD pointSize;
    std::wstring font;
    std::vector<TemplateItem> items;
};

DialogTemplate ReadDialogTemplate(HMODULE module, const wchar_t* name, WORD language);

#endif
