#ifndef KESTRUNE_TNSTRING_H
#define KESTRUNE_TNSTRING_H

#include <windows.h>

// Raised (as an int) when the heap cannot supply a block; the string is left as it was.
const int TnOutOfMemory = 1;

// Makes the calling thread ready to raise TnOutOfMemory; run before work that may raise.
// False when the heap is too low even for that: the caller then takes its out-of-memory
// path without raising anything.
bool PrepareThreadToRaise();

// Growable, heap-held, NUL-terminated 8-bit (code page 932) string. Length counts bytes.
class TnString {
public:
    // Every growth leaves this many bytes beyond the length it must hold.
    static const int GrowthSlack = 20;

    TnString();
    ~TnString();

    const char* CStr() const;
    int GetLength() const { return Length; }
    int GetCapacity() const { return Capacity; }

    // Makes room for newLength bytes and sets the length; the caller fills the block.
    void Resize(int newLength);
    const char* Assign(const char* text);
    TnString& Append(const char* text);
    TnString& AppendChar(char c);
    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;
    void AssignFromComboItem(HWND combo, int index);

private:
    TnString(const TnString&);
    TnString& operator=(const TnString&);

    int Length;
    int Capacity;
    char* Buffer;
};

#endif
