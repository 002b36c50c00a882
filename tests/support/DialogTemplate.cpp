#include "DialogTemplate.h"

namespace {

struct Reader {
    const BYTE* p;

    WORD Word()
    {
        WORD value = *reinterpret_cast<const WORD*>(p);
        p += 2;
        return value;
    }
    DWORD Dword()
    {
        DWORD value = *reinterpret_cast<const DWORD*>(p);
        p += 4;
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (WORD c; (c = Word()) != 0;)
            text += static_cast<wchar_t>(c);
        return text;
    }
    // A name or, after 0xFFFF, an ordinal (given back as "#n").
    std::wstring NameOrOrdinal()
    {
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            Word();
            wchar_t text[16];
            wsprintfW(text, L"#%u", Word());
            return text;
        }
        return String();
    }
    void AlignToDword(const BYTE* base)
    {
        while ((p - base) % 4 != 0)
            ++p;
    }
};

std::wstring PredefinedClass(const std::wstring& name)
{
    static const wchar_t* const names[] = { L"BUTTON", L"EDIT", L"STATIC", L"LISTBOX", L"SCROLLBAR", L"COMBOBOX" };
    for (int i = 0; i < 6; ++i) {
        wchar_t ordinal[16];
        wsprintfW(ordinal, L"#%u", 0x80 + i);
        if (name == ordinal)
            return names[i];
    }
    return name;
}

}

DialogTemplate ReadDialogTemplate(HMODULE module, const wchar_t* name, WORD language)
{
    DialogTemplate result = DialogTemplate();
    HRSRC resource = FindResourceExW(module, MAKEINTRESOURCEW(5), name, language);  // RT_DIALOG
    if (resource == NULL)
        return result;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    Reader in = { base };
    result.style = in.Dword();
    in.Dword();  // extended style
    WORD count = in.Word();
    result.x = static_cast<short>(in.Word());
    result.y = static_cast<short>(in.Word());
    result.cx = static_cast<short>(in.Word());
    result.cy = static_cast<short>(in.Word());
    in.NameOrOrdinal();  // menu
    in.NameOrOrdinal();  // class
    result.caption = in.String();
    if (result.style & DS_SETFONT) {
        result.pointSize = in.Word();
        result.font = in.String();
    }
    for (WORD i = 0; i < count; ++i) {
        in.AlignToDword(base);
        TemplateItem item;
        item.style = in.Dword();
        in.Dword();  // extended style
        item.x = static_cast<short>(in.Word());
        item.y = static_cast<short>(in.Word());
        item.cx = static_cast<short>(in.Word());
        item.cy = static_cast<short>(in.Word());
        item.id = in.Word();
        item.className = PredefinedClass(in.NameOrOrdinal());
        item.text = in.NameOrOrdinal();
        WORD extra = in.Word();
        in.p += extra;
        result.items.push_back(item);
    }
    result.found = true;
    return result;
}
