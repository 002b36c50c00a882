// The built plug-in read as the loader and the host read it: the PE image's own headers,
// export directory and import table, walked from the file's bytes.

#include <doctest.h>

#include <algorithm>
#include <cstddef>

#include "support/PluginUnderTest.h"

namespace {

// What a host and its users rely on in a DLL file.
struct ImageFacts {
    std::string unreadable;  // why the bytes are no PE32 image; empty when they are
    WORD machine;
    bool dll;
    DWORD headerTime, exportTime;  // time stamps: 0 unless the build wrote one
    std::string exportName;
    DWORD functions;                   // ordinals the export directory holds
    std::vector<std::string> exports;  // "Name @ordinal", by name; " (no code)" when it leads nowhere
    std::vector<std::string> imports;  // the DLLs imported from, lower case
    size_t size;
};

class PeBytes {
public:
    explicit PeBytes(const std::string& bytes) : bytes(bytes) {}

    // The structure at a file offset, or NULL when the file is too short for it.
    template <typename T>
    const T* At(size_t offset, size_t count = 1) const
    {
        if (offset > bytes.size() || count > (bytes.size() - offset) / sizeof(T))
            return NULL;
        return reinterpret_cast<const T*>(bytes.data() + offset);
    }
    bool ReadSections(const IMAGE_NT_HEADERS32& nt, size_t headerOffset)
    {
        size_t first = headerOffset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
        const IMAGE_SECTION_HEADER* table = At<IMAGE_SECTION_HEADER>(first, nt.FileHeader.NumberOfSections);
        if (table == NULL)
            return false;
        sections.assign(table, table + nt.FileHeader.NumberOfSections);
        return true;
    }
    // The section that holds an address of the loaded image, or NULL.
    const IMAGE_SECTION_HEADER* SectionOf(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent)
                return &section;
        }
        return NULL;
    }
    template <typename T>
    const T* AtRva(DWORD rva, size_t count = 1) const
    {
        const IMAGE_SECTION_HEADER* section = SectionOf(rva);
        if (section == NULL || rva - section->VirtualAddress >= section->SizeOfRawData)
            return NULL;
        return At<T>(section->PointerToRawData + (rva - section->VirtualAddress), count);
    }
    // The NUL-terminated text at an address, or "(unreadable)" when it runs off the file.
    std::string TextAt(DWORD rva) const
    {
        const char* start = AtRva<char>(rva);
        if (start == NULL)
            return "(unreadable)";
        const char* end = bytes.data() + bytes.size();
        const char* nul = std::find(start, end, '\0');
        return nul == end ? "(unreadable)" : std::string(start, nul);
    }

private:
    const std::string& bytes;
    std::vector<IMAGE_SECTION_HEADER> sections;
};

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void ReadExports(const PeBytes& pe, const IMAGE_DATA_DIRECTORY& directory, ImageFacts& facts)
{
    const IMAGE_EXPORT_DIRECTORY* exports = directory.VirtualAddress ? pe.AtRva<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress) : NULL;
    if (exports == NULL)
        return;
    facts.exportTime = exports->TimeDateStamp;
    facts.exportName = pe.TextAt(exports->Name);
    facts.functions = exports->NumberOfFunctions;
    const DWORD* functions = pe.AtRva<DWORD>(exports->AddressOfFunctions, exports->NumberOfFunctions);
    const DWORD* names = pe.AtRva<DWORD>(exports->AddressOfNames, exports->NumberOfNames);
    const WORD* indexes = pe.AtRva<WORD>(exports->AddressOfNameOrdinals, exports->NumberOfNames);
    if (functions == NULL || names == NULL || indexes == NULL) {
        facts.exports.push_back("(export tables unreadable)");
        return;
    }
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        std::string line = pe.TextAt(names[i]) + " @" + std::to_string(exports->Base + indexes[i]);
        // A named export must lead to code: not past the table, nor forwarded, nor to data.
        const IMAGE_SECTION_HEADER* section = indexes[i] < exports->NumberOfFunctions ? pe.SectionOf(functions[indexes[i]]) : NULL;
        if (section == NULL || !(section->Characteristics & IMAGE_SCN_MEM_EXECUTE))
            line += " (no code)";
        facts.exports.push_back(line);
    }
    std::sort(facts.exports.begin(), facts.exports.end());
}

void ReadImports(const PeBytes& pe, const IMAGE_DATA_DIRECTORY& directory, ImageFacts& facts)
{
    if (directory.VirtualAddress == 0)
        return;
    for (DWORD at = directory.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const IMAGE_IMPORT_DESCRIPTOR* import = pe.AtRva<IMAGE_IMPORT_DESCRIPTOR>(at);
        if (import == NULL) {
            facts.imports.push_back("(import table unreadable)");
            return;
        }
        if (import->Name == 0)
            return;
        facts.imports.push_back(Lower(pe.TextAt(import->Name)));
    }
}

ImageFacts ReadImage(const std::string& bytes)
{
    ImageFacts facts = ImageFacts();
    facts.size = bytes.size();
    PeBytes pe(bytes);
    const IMAGE_DOS_HEADER* dos = pe.At<IMAGE_DOS_HEADER>(0);
    if (dos == NULL || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        facts.unreadable = "no MZ header";
        return facts;
    }
    size_t headerOffset = static_cast<size_t>(static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_NT_HEADERS32* nt = pe.At<IMAGE_NT_HEADERS32>(headerOffset);
    if (nt == NULL || nt->Signature != IMAGE_NT_SIGNATURE) {
        facts.unreadable = "no PE header";
        return facts;
    }
    if (nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        facts.unreadable = "not PE32";
        return facts;
    }
    if (!pe.ReadSections(*nt, headerOffset)) {
        facts.unreadable = "section table unreadable";
        return facts;
    }
    facts.machine = nt->FileHeader.Machine;
    facts.dll = (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
    facts.headerTime = nt->FileHeader.TimeDateStamp;
    const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
    DWORD count = nt->OptionalHeader.NumberOfRvaAndSizes;
    if (count > IMAGE_DIRECTORY_ENTRY_EXPORT)
        ReadExports(pe, directories[IMAGE_DIRECTORY_ENTRY_EXPORT], facts);
    if (count > IMAGE_DIRECTORY_ENTRY_IMPORT)
        ReadImports(pe, directories[IMAGE_DIRECTORY_ENTRY_IMPORT], facts);
    return facts;
}

// The six entry points, each by plain name under its own ordinal, as a host looks them up.
const std::vector<std::string> PluginExports = {
    "APCFolderEndRetrieve @6", "APCGetPlugName @1", "APCRecFilter @5",
    "APCSetup @4", "APCStartUp @3", "APCVersionInfo @2",
};

ImageFacts ReadBuiltFile(const std::string& relative)
{
    std::string bytes = ReadFileBytes(BuildFile(relative));
    INFO(relative);
    REQUIRE(!bytes.empty());
    return ReadImage(bytes);
}

}

TEST_SUITE("dll-binary") {

TEST_CASE("Kestrune.dll is a small 32-bit DLL built the same anywhere: six entry points, system imports only")
{
    ImageFacts dll = ReadBuiltFile("Kestrune.dll");
    REQUIRE(dll.unreadable == "");
    CHECK(dll.machine == IMAGE_FILE_MACHINE_I386);
    CHECK(dll.dll);
    CHECK(dll.exportName == "Kestrune.dll");
    CHECK(dll.exports == PluginExports);
    CHECK(dll.functions == PluginExports.size());
    // What every Windows has; users have no runtime DLLs beside the host.
    const std::vector<std::string> system = { "kernel32.dll", "user32.dll", "winmm.dll", "msvcrt.dll",
                                              "gdi32.dll", "advapi32.dll" };
    REQUIRE(!dll.imports.empty());
    for (const std::string& import : dll.imports) {
        INFO("imports " << import);
        CHECK(std::find(system.begin(), system.end(), import) != system.end());
    }
    // Nothing depends on when or where it was built, so anyone can rebuild the same bytes.
    CHECK(dll.headerTime == 0u);
    CHECK(dll.exportTime == 0u);
    std::string bytes = ReadFileBytes(BuildFile("Kestrune.dll"));
    for (const char* folder : { KESTRUNE_SOURCE_DIR, KESTRUNE_BUILD_DIR }) {
        INFO("the image holds the path " << std::string(folder));
        CHECK(bytes.find(folder) == std::string::npos);
    }
    // What users download stays small.
    CHECK(dll.size <= 80u * 1024u);
    MESSAGE("Kestrune.dll: " << dll.size << " bytes, imports " << doctest::toString(dll.imports));
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
        REQUIRE(planted.unreadable == "");
        CHECK(planted.exportName == "Kestrune.dll");
        CHECK(planted.exports == row.exports);
        CHECK(planted.exports != PluginExports);
    }
}

}
