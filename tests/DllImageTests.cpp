// The built plug-in read as the loader and the host read it: the PE image's headers, export
// directory and import table, in the image as the platform's loader maps it (its code
// neither run nor bound).

#include <doctest.h>

#include <algorithm>
#include <iterator>

#include "support/PluginUnderTest.h"

namespace {

// What a host and its users rely on in a DLL file.
struct ImageFacts {
    WORD machine, magic;
    bool dll;
    DWORD headerTime, exportTime;  // time stamps: 0 unless the build wrote one
    std::string exportName;
    DWORD functions;                   // ordinals the export directory holds
    std::vector<std::string> exports;  // "Name @ordinal", by name; " (no code)" when it leads nowhere
    std::vector<std::string> imports;  // the DLLs imported from, lower case
};

template <typename T>
const T* At(HMODULE image, DWORD rva)
{
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(image) + rva);
}

bool IsCode(const IMAGE_NT_HEADERS32* nt, DWORD rva)
{
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (rva - section->VirtualAddress < section->Misc.VirtualSize)
            return (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0;
    return false;
}

ImageFacts ReadImage(HMODULE image)
{
    ImageFacts facts = ImageFacts();
    const IMAGE_NT_HEADERS32* nt = At<IMAGE_NT_HEADERS32>(image, At<IMAGE_DOS_HEADER>(image, 0)->e_lfanew);
    facts.machine = nt->FileHeader.Machine;
    facts.magic = nt->OptionalHeader.Magic;
    facts.dll = (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
    facts.headerTime = nt->FileHeader.TimeDateStamp;

    const IMAGE_DATA_DIRECTORY& exportDirectory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exportDirectory.VirtualAddress != 0) {
        const IMAGE_EXPORT_DIRECTORY* exports = At<IMAGE_EXPORT_DIRECTORY>(image, exportDirectory.VirtualAddress);
        facts.exportTime = exports->TimeDateStamp;
        facts.exportName = At<char>(image, exports->Name);
        facts.functions = exports->NumberOfFunctions;
        const DWORD* functions = At<DWORD>(image, exports->AddressOfFunctions);
        const DWORD* names = At<DWORD>(image, exports->AddressOfNames);
        const WORD* indexes = At<WORD>(image, exports->AddressOfNameOrdinals);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            std::string line = std::string(At<char>(image, names[i])) + " @" + std::to_string(exports->Base + indexes[i]);
            // A named export must lead to code: not past the table, nor forwarded, nor to data.
            if (indexes[i] >= exports->NumberOfFunctions || !IsCode(nt, functions[indexes[i]]))
                line += " (no code)";
            facts.exports.push_back(line);
        }
        std::sort(facts.exports.begin(), facts.exports.end());
    }

    const IMAGE_DATA_DIRECTORY& importDirectory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (importDirectory.VirtualAddress != 0) {
        for (const IMAGE_IMPORT_DESCRIPTOR* import = At<IMAGE_IMPORT_DESCRIPTOR>(image, importDirectory.VirtualAddress);
             import->Name != 0; ++import) {
            std::string name = At<char>(image, import->Name);
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
            facts.imports.push_back(name);
        }
    }
    return facts;
}

// The six entry points, each by plain name under its own ordinal, as a host looks them up.
const std::vector<std::string> PluginExports = {
    "APCFolderEndRetrieve @6", "APCGetPlugName @1", "APCRecFilter @5",
    "APCSetup @4", "APCStartUp @3", "APCVersionInfo @2",
};

// Maps the built DLL without running or binding it, and reads it.
ImageFacts ReadBuiltFile(const std::string& relative)
{
    HMODULE image = LoadLibraryExA(BuildFile(relative).c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    REQUIRE_MESSAGE(image != NULL, relative << " does not load as a 32-bit DLL");
    ImageFacts facts = ReadImage(image);
    FreeLibrary(image);
    return facts;
}

}

TEST_SUITE("dll-binary") {

TEST_CASE("Kestrune.dll is a small 32-bit DLL built the same anywhere: six entry points, four system DLLs imported")
{
    ImageFacts dll = ReadBuiltFile("Kestrune.dll");
    CHECK(dll.machine == IMAGE_FILE_MACHINE_I386);
    CHECK(dll.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    CHECK(dll.dll);
    CHECK(dll.exportName == "Kestrune.dll");
    CHECK(dll.exports == PluginExports);
    CHECK(dll.functions == PluginExports.size());
    // Only DLLs that every Windows has: users have no runtime DLLs beside the host.
    std::vector<std::string> imports = dll.imports;
    std::sort(imports.begin(), imports.end());
    CHECK(imports == std::vector<std::string>({ "kernel32.dll", "msvcrt.dll", "user32.dll", "winmm.dll" }));
    // Nothing depends on when or where it was built, so anyone can rebuild the same bytes.
    CHECK(dll.headerTime == 0u);
    CHECK(dll.exportTime == 0u);
    std::string bytes = ReadFileBytes(BuildFile("Kestrune.dll"));
    for (const char* folder : { KESTRUNE_SOURCE_DIR, KESTRUNE_BUILD_DIR }) {
        INFO("the image holds the path " << std::string(folder));
        CHECK(bytes.find(folder) == std::string::npos);
    }
    // What users download stays small.
    CHECK(bytes.size() <= 80u * 1024u);
    MESSAGE("Kestrune.dll: " << bytes.size() << " bytes, imports " << doctest::toString(dll.imports));
}

TEST_CASE("a DLL that exports a decorated name or a wrong ordinal is told apart")
{
    struct Row {
        const char* file;
        std::vector<std::string> exports;
    };
    const Row rows[] = {
        { "tests/fixtures/planted-exports/PlantedDecorated.dll",
          { "APCFolderEndRetrieve @6", "APCGetPlugName @1", "APCRecFilter @5", "APCSetup@4 @4", "APCStartUp @3",
            "APCVersionInfo @2" } },
        { "tests/fixtures/planted-exports/PlantedSwappedOrdinals.dll",
          { "APCFolderEndRetrieve @6", "APCGetPlugName @1", "APCRecFilter @4", "APCSetup @5", "APCStartUp @3",
            "APCVersionInfo @2" } },
    };
    for (const Row& row : rows) {
        INFO(std::string(row.file));
        ImageFacts planted = ReadBuiltFile(row.file);
        CHECK(planted.exportName == "Kestrune.dll");
        CHECK(planted.exports == row.exports);
        CHECK(planted.exports != PluginExports);
    }
}

}

TEST_SUITE("binding") {

// The host's side is the stand-in host's own list, with each function's place as its ordinal.
// A slip in a name or a byte count on either side would have the mail client refuse the plug-in.
TEST_CASE("the plug-in looks up, in the host's order, every function the host exports, by the host's names")
{
    const char* const lookedUp[] = {
#define HOST_API(name, bytes) "_" #name "@" #bytes,
#include "HostApiList.h"
#undef HOST_API
    };
    std::vector<std::string> plugin;
    for (size_t i = 0; i < sizeof lookedUp / sizeof lookedUp[0]; ++i)
        plugin.push_back(lookedUp[i] + (" @" + std::to_string(i + 1)));
    std::sort(plugin.begin(), plugin.end());
    std::vector<std::string> host = ReadBuiltFile("tools/quillon-host/full/Quillon.exe").exports;
    std::vector<std::string> pluginOnly, hostOnly;
    std::set_difference(plugin.begin(), plugin.end(), host.begin(), host.end(), std::back_inserter(pluginOnly));
    std::set_difference(host.begin(), host.end(), plugin.begin(), plugin.end(), std::back_inserter(hostOnly));
    CHECK_MESSAGE(pluginOnly.empty(), "looked up by the plug-in (name @place): " << doctest::toString(pluginOnly));
    CHECK_MESSAGE(hostOnly.empty(), "exported by the host (name @ordinal): " << doctest::toString(hostOnly));
}

}
