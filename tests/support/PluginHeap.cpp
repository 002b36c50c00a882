#include "PluginHeap.h"

#include <doctest.h>

namespace {

typedef void* (__cdecl* MallocProc)(size_t);
typedef void* (__cdecl* ReallocProc)(void*, size_t);
MallocProc RealMalloc;
ReallocProc RealRealloc;
volatile LONG Requests;
volatile LONG RefuseRequest;  // the number of the request to refuse; 0 for none, -1 for all

bool Refuse()
{
    LONG number = InterlockedIncrement(&Requests);
    return RefuseRequest == -1 || number == RefuseRequest;
}

void* __cdecl CountingMalloc(size_t size)
{
    return Refuse() ? NULL : RealMalloc(size);
}

void* __cdecl CountingRealloc(void* block, size_t size)
{
    return Refuse() ? NULL : RealRealloc(block, size);
}

}

PluginHeap::PluginHeap(HMODULE plugin)
    : mallocPatch(plugin, "msvcrt.dll", "malloc", (void*)CountingMalloc),
      reallocPatch(plugin, "msvcrt.dll", "realloc", (void*)CountingRealloc)
{
    REQUIRE(mallocPatch.Applied());
    REQUIRE(reallocPatch.Applied());
    RealMalloc = reinterpret_cast<MallocProc>(mallocPatch.Original());
    RealRealloc = reinterpret_cast<ReallocProc>(reallocPatch.Original());
    Refusing(0);
}

void PluginHeap::Refusing(LONG number)
{
    InterlockedExchange(&Requests, 0);
    InterlockedExchange(&RefuseRequest, number);
}

LONG PluginHeap::Count() const
{
    return Requests;
}
