#ifndef KESTRUNE_TESTS_PLUGINHEAP_H
#define KESTRUNE_TESTS_PLUGINHEAP_H

// A module's heap calls, through its own import table (the module is unchanged), while the
// object lives: requests (malloc, calloc, realloc) counted and refused on request, and the
// blocks it holds followed through free as well. One object at a time.

#include <windows.h>

#include "ImportPatch.h"

class PluginHeap {
public:
    explicit PluginHeap(HMODULE module);
    // From now on, count afresh and refuse request number (0: none).
    void Refusing(LONG number);
    // From now on, refuse every request.
    void RefusingAll() { Refusing(-1); }
    // Requests since the last Refusing, and how many of them were reallocations.
    LONG Count() const;
    LONG Reallocations() const;
    // Blocks the module got and has not freed since the object was made: negative when it
    // frees blocks it had before.
    LONG LiveBlocks() const;

private:
    PluginHeap(const PluginHeap&);
    PluginHeap& operator=(const PluginHeap&);
    ImportPatch mallocPatch;
    ImportPatch callocPatch;
    ImportPatch reallocPatch;
    ImportPatch freePatch;
};

#endif
