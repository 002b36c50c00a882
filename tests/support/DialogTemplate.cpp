#include "DialogTemplate.h"

namespace {

struct Reader {
    const BYTE* p;

    template <typename T>
    T Next()
    {
        T value = *reinterpret_cast<const T*>(p);
        p += sizeof value;
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (WORD c; (c = Next<WORD>()) != 0;)
            text += static_cast<wchar_t>(c);
        return text;
    }
    // A name or, after 0xFFFF, an ordinal (given back as "#n").
    std::wstring NameOrOrdinal()
    {
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF) {
            Next<WORD>();
            wchar_t text[16];
            wsprintfW(text, L"#%u", Next<WORD>());
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
    result.style = in.Next<DWORD>();
    in.Next<DWORD>();  // extended style
    WORD count = in.Next<WORD>();
    result.x = in.Next<short>();
    result.y = in.Next<short>();
    result.cx = in.Next<short>();
    result.cy = in.Next<short>();
    in.NameOrOrdinal();  // menu
    in.NameOrOrdinal();  // class
    result.caption = in.String();
    if (result.style & DS_SETFONT) {
        result.pointSize = in.Next<WORD>();
        result.font = in.String();
    }
    for (WORD i = 0; i < count; ++i) {
        in.AlignToDword(base);
        TemplateItem item;
        item.style = in.Next<DWORD>();
        in.Next<DWORD>();  // extended style
        item.x = in.Next<short>();
        item.y = in.Next<short>();
        item.cx = in.Next<short>();
        item.cy = in.Next<short>();
        item.id = in.Next<WORD>();
        item.className = PredefinedClass(in.NameOrOrdinal());
        item.text = in.NameOrOrdinal();
        WORD extra = in.Next<WORD>();
        in.p += extra;
        result.items.push_back(item);
    }
    result.found = true;
    return result;
}
