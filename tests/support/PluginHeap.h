#ifndef KESTRUNE_TESTS_PLUGINHEAP_H
#define KESTRUNE_TESTS_PLUGINHEAP_H

// The plug-in's heap requests (malloc and realloc, through its own import table; the DLL is
// unchanged), counted while the object lives, and refused on request.

#include <windows.h>

#include "ImportPatch.h"

class PluginHeap {
public:
    explicit PluginHeap(HMODULE plugin);
    // From now on, count afresh and refuse request number (0: none).
    void Refusing(LONG number);
    // From now on, refuse every request.
    void RefusingAll() { Refusing(-1); }
    LONG Count() const;

private:
    PluginHeap(const PluginHeap&);
    PluginHeap& operator=(const PluginHeap&);
    ImportPatch mallocPatch;
    ImportPatch reallocPatch;
};

#endif
