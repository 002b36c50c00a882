#ifndef KESTRUNE_TESTS_IMPORTPATCH_H
#define KESTRUNE_TESTS_IMPORTPATCH_H

// Redirects one imported function of a loaded module (its import address table entry) to
// a replacement while the object lives: a way to watch or fail the calls a module makes
// without changing it.

#include <windows.h>

class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dllName, const char* functionName, const void* replacement);
    ~ImportPatch();
    bool Applied() const { return slot != NULL; }
    // The function the module called before the patch.
    void* Original() const { return reinterpret_cast<void*>(original); }

private:
    ImportPatch(const ImportPatch&);
    ImportPatch& operator=(const ImportPatch&);
    FARPROC* slot;
    FARPROC original;
};

#endif
