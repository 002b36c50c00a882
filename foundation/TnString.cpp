#include "TnString.h"

#include <limits.h>
#include <stdlib.h>

#include <exception>

static const char EmptyText[] = "";

// Block size for a text of the given length, or 0 when it would not fit in an int.
static int BlockSizeFor(int length)
{
    if (length > INT_MAX - TnString::GrowthSlack)
        return 0;
    return length + TnString::GrowthSlack;
}

// Several times what the C++ runtime takes from the heap for a thread's exception state
// (under two hundred bytes).
static const size_t ExceptionStateHeadroom = 1024;

// The C++ runtime allocates a thread's exception state from the heap when the thread first
// raises or asks about a raise, and ends the whole process if the heap refuses. The host
// may call on any of its threads, so that allocation is made here, before the work. On a
// thread new to the plug-in with the heap exhausted it would end the host all the same, so
// the heap is first asked for an ample block, whose refusal is a plain NULL; only a heap
// that could serve it is handed the runtime's smaller request.
bool PrepareThreadToRaise()
{
    // Held in a volatile: a block that is only freed again may otherwise be optimised away.
    void* volatile probe = malloc(ExceptionStateHeadroom);
    if (probe == NULL)
        return false;
    free(probe);
    // Kept in a volatile: the runtime declares the call free of side effects.
    volatile bool raising = std::uncaught_exception();
    (void)raising;
    return true;
}

TnString::TnString()
    : Length(0), Capacity(0), Buffer(NULL)
{
}

TnString::~TnString()
{
    if (Buffer != NULL)
        free(Buffer);
}

const char* TnString::CStr() const
{
    return Buffer != NULL ? Buffer : EmptyText;
}

void TnString::Resize(int newLength)
{
    if (newLength >= Capacity) {
        int size = BlockSizeFor(newLength);
        if (size == 0)
            throw TnOutOfMemory;
        char* block = static_cast<char*>(realloc(Buffer, size));
        if (block == NULL)
            throw TnOutOfMemory;
        Buffer = block;
        Capacity = size;
    }
    Length = newLength;
}

const char* TnString::Assign(const char* text)
{
    if (text == NULL) {
        Length = 0;
        if (Buffer == NULL)
            return EmptyText;
        Buffer[0] = '\0';
        return Buffer;
    }
    Resize(lstrlenA(text));
    lstrcpyA(Buffer, text);
    return Buffer;
}

TnString& TnString::Append(const char* text)
{
    if (text == NULL)
        return *this;
    int added = lstrlenA(text);
    if (added > INT_MAX - Length)
        throw TnOutOfMemory;
    int newLength = Length + added;
    if (newLength >= Capacity) {
        int size = BlockSizeFor(newLength);
        if (size == 0)
            throw TnOutOfMemory;
        char* block = static_cast<char*>(malloc(size));
        if (block == NULL)
            throw TnOutOfMemory;
        lstrcpyA(block, CStr());
        // Copy the new text before the old block goes: it may be part of it.
        lstrcpyA(block + Length, text);
        free(Buffer);
        Buffer = block;
        Capacity = size;
    } else {
        lstrcpyA(Buffer + Length, text);
    }
    Length = newLength;
    return *this;
}

TnString& TnString::AppendChar(char c)
{
    char text[2] = { c, '\0' };
    return Append(text);
}

int TnString::Compare(const char* text) const
{
    return lstrcmpA(CStr(), text);
}

int TnString::CompareNoCase(const char* text) const
{
    return lstrcmpiA(CStr(), text);
}

void TnString::AssignFromComboItem(HWND combo, int index)
{
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) {
        Assign("");
        return;
    }
    Resize(static_cast<int>(length));
    LRESULT copied = SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(Buffer));
    // The reported length is an upper bound for double-byte text; keep what was really copied.
    if (copied == CB_ERR) {
        Buffer[0] = '\0';
        Length = 0;
    } else if (copied < Length) {
        Length = static_cast<int>(copied);
    }
}
