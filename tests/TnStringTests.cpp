// The plug-in's string: growth with 20 bytes of slack, and the out-of-memory failure.

#include <doctest.h>

#include <limits.h>

#include <string>

#include "TnString.h"
#include "support/PluginHeap.h"
#include "support/WineTest.h"

namespace {

// Expects the operation to raise the out-of-memory failure, the integer 1. With failHeap
// the heap refuses every request while the operation (and nothing else) runs.
template <typename Operation>
void CheckOutOfMemory(PluginHeap& heap, Operation operation, bool failHeap)
{
    int raised = 0;
    if (failHeap)
        heap.RefusingAll();
    try {
        operation();
    } catch (int value) {
        raised = value;
    }
    if (failHeap)
        heap.Refusing(0);
    CHECK(raised == TnOutOfMemory);
    CHECK(raised == 1);
}

}

TEST_SUITE("tnstring") {

TEST_CASE("a fresh string is empty and owns no block")
{
    PluginHeap heap(GetModuleHandleA(NULL));  // the string is linked into this program
    char text = 'x', assigned = 'x';
    int length = -1, capacity = -1;
    {
        TnString s;
        text = s.CStr()[0];
        assigned = s.Assign(NULL)[0];
        length = s.GetLength();
        capacity = s.GetCapacity();
    }
    // Checked only now: the checks themselves may use the heap.
    CHECK(heap.Count() == 0);
    CHECK(text == '\0');
    CHECK(assigned == '\0');
    CHECK(length == 0);
    CHECK(capacity == 0);
}

TEST_CASE("growth leaves exactly 20 bytes of slack")
{
    TnString s;
    SUBCASE("assigning an empty text allocates 20 bytes")
    {
        CHECK(std::string(s.Assign("")).empty());
        CHECK(s.GetCapacity() == 20);
        CHECK(s.GetLength() == 0);
    }
    SUBCASE("appending to a fresh string")
    {
        s.Append("abc");
        CHECK(s.GetCapacity() == 23);
        CHECK(s.GetLength() == 3);
        CHECK(std::string(s.CStr()) == "abc");
    }
    SUBCASE("a text that would fill the block exactly grows it")
    {
        s.Append("abc");
        s.Append("01234567890123456");
        REQUIRE(s.GetLength() == 20);
        REQUIRE(s.GetCapacity() == 23);
        s.Append("xyz");
        CHECK(s.GetCapacity() == 43);
        CHECK(s.GetLength() == 23);
        CHECK(std::string(s.CStr()) == "abc01234567890123456xyz");
    }
    SUBCASE("appending a NUL byte appends nothing")
    {
        s.AppendChar('\0');
        CHECK(s.GetCapacity() == 20);
        CHECK(s.GetLength() == 0);
        s.Append("ab");
        s.AppendChar('\0');
        s.Append("");
        CHECK(s.GetCapacity() == 20);
        CHECK(s.GetLength() == 2);
        CHECK(std::string(s.CStr()) == "ab");
    }
    SUBCASE("AppendChar builds a text byte by byte, double-byte text included")
    {
        const char text[] = "D:\\\x95\x5C";
        for (const char* p = text; *p; ++p)
            s.AppendChar(*p);
        CHECK(std::string(s.CStr()) == text);
        CHECK(s.GetLength() == 5);
    }
    SUBCASE("Resize grows to the length plus 20 and never shrinks")
    {
        s.Assign("abc");
        s.Resize(30);
        CHECK(s.GetCapacity() == 50);
        CHECK(s.GetLength() == 30);
        CHECK(std::string(s.CStr(), 3) == "abc");
        s.Resize(5);
        CHECK(s.GetCapacity() == 50);
        CHECK(s.GetLength() == 5);
        s.Assign("a longer text that still fits");
        CHECK(s.GetCapacity() == 50);
    }
    SUBCASE("a string can take a copy of itself")
    {
        s.Assign("0123456789");
        s.Append(s.CStr());
        s.Append(s.CStr());
        CHECK(std::string(s.CStr()) == "0123456789012345678901234567890123456789");
    }
}

TEST_CASE("comparisons: exact, and ignoring the case of a drive letter")
{
    TnString s;
    s.Assign("d:\\");
    CHECK(s.Compare("d:\\") == 0);
    CHECK(s.Compare("D:\\") != 0);
    CHECK(s.CompareNoCase("D:\\") == 0);
    CHECK(s.CompareNoCase("E:\\") != 0);
    s.Assign(AllLabel.c_str());
    CHECK(s.Compare(AllLabel.c_str()) == 0);
    CHECK(s.Compare(AllLabel.substr(0, 2).c_str()) != 0);
}

TEST_CASE("out of memory raises 1 and leaves the string as it was")
{
    PluginHeap heap(GetModuleHandleA(NULL));  // the string is linked into this program
    TnString s;
    s.Append("abc");
    REQUIRE(s.GetCapacity() == 23);

    SUBCASE("Append cannot get its block")
    {
        CheckOutOfMemory(heap, [&]() { s.Append("a text longer than the slack"); }, true);
    }
    SUBCASE("Resize cannot reallocate")
    {
        CheckOutOfMemory(heap, [&]() { s.Resize(100); }, true);
    }
    SUBCASE("a size beyond 32 bits is out of memory, not a small block")
    {
        heap.Refusing(0);
        CheckOutOfMemory(heap, [&]() { s.Resize(INT_MAX - 10); }, false);
        CheckOutOfMemory(heap, [&]() { s.Resize(INT_MAX); }, false);
        // Refused before the heap is asked for a wrapped-round size.
        CHECK(heap.Reallocations() == 0);
    }
    CHECK(s.GetLength() == 3);
    CHECK(s.GetCapacity() == 23);
    CHECK(std::string(s.CStr()) == "abc");
    s.Append("d");
    CHECK(std::string(s.CStr()) == "abcd");
}

}
