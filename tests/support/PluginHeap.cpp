#include "PluginHeap.h"

#include <doctest.h>

#include <stdlib.h>

namespace {

decltype(&malloc) RealMalloc;
decltype(&calloc) RealCalloc;
decltype(&realloc) RealRealloc;
decltype(&free) RealFree;
volatile LONG Requests;
volatile LONG ReallocRequests;
volatile LONG RefuseRequest;  // the number of the request to refuse; 0 for none, -1 for all
volatile LONG Live;

bool Refuse()
{
    LONG number = InterlockedIncrement(&Requests);
    return RefuseRequest == -1 || number == RefuseRequest;
}

void* Handed(void* block)
{
    if (block != NULL)
        InterlockedIncrement(&Live);
    return block;
}

void* __cdecl CountingMalloc(size_t size)
{
    return Refuse() ? NULL : Handed(RealMalloc(size));
}

void* __cdecl CountingCalloc(size_t count, size_t size)
{
    return Refuse() ? NULL : Handed(RealCalloc(count, size));
}

void* __cdecl CountingRealloc(void* block, size_t size)
{
    InterlockedIncrement(&ReallocRequests);
    if (Refuse())
        return NULL;
    void* moved = RealRealloc(block, size);
    if (block == NULL)
        return Handed(moved);
    // Size 0 frees the block and answers NULL; any other NULL leaves the block as it was.
    if (moved == NULL && size == 0)
        InterlockedDecrement(&Live);
    return moved;
}

void __cdecl CountingFree(void* block)
{
    if (block != NULL)
        InterlockedDecrement(&Live);
    RealFree(block);
}

}

PluginHeap::PluginHeap(HMODULE module)
    : mallocPatch(module, "msvcrt.dll", "malloc", (void*)CountingMalloc),
      callocPatch(module, "msvcrt.dll", "calloc", (void*)CountingCalloc),
      reallocPatch(module, "msvcrt.dll", "realloc", (void*)CountingRealloc),
      freePatch(module, "msvcrt.dll", "free", (void*)CountingFree)
{
    // calloc may be absent: only the runtime asks for it, and only where it imports it.
    REQUIRE(mallocPatch.Applied());
    REQUIRE(reallocPatch.Applied());
    REQUIRE(freePatch.Applied());
    RealMalloc = reinterpret_cast<decltype(RealMalloc)>(mallocPatch.Original());
    RealCalloc = reinterpret_cast<decltype(RealCalloc)>(callocPatch.Original());
    RealRealloc = reinterpret_cast<decltype(RealRealloc)>(reallocPatch.Original());
    RealFree = reinterpret_cast<decltype(RealFree)>(freePatch.Original());
    InterlockedExchange(&Live, 0);
    Refusing(0);
}

void PluginHeap::Refusing(LONG number)
{
    InterlockedExchange(&Requests, 0);
    InterlockedExchange(&ReallocRequests, 0);
    InterlockedExchange(&RefuseRequest, number);
}

LONG PluginHeap::Count() const
{
    return Requests;
}

LONG PluginHeap::Reallocations() const
{
    return ReallocRequests;
}

LONG PluginHeap::LiveBlocks() const
{
    return Live;
}
