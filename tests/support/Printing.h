#ifndef KESTRUNE_TESTS_PRINTING_H
#define KESTRUNE_TESTS_PRINTING_H

// How failed checks show MCI logs and UTF-16 texts: as the lines and characters they are.

#include <windows.h>

#include <doctest.h>

#include <string>
#include <vector>

namespace doctest {

template <>
struct StringMaker<std::vector<std::string> > {
    static String convert(const std::vector<std::string>& lines)
    {
        std::string text = "{";
        for (size_t i = 0; i < lines.size(); ++i)
            text += (i ? ", \"" : "\"") + lines[i] + "\"";
        text += "}";
        return String(text.c_str());
    }
};

template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& text)
    {
        int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
        std::string utf8(size > 0 ? size : 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, NULL, NULL);
        return String(("L\"" + std::string(utf8.c_str()) + "\"").c_str());
    }
};

}

#endif
