# Reads the built plug-in itself: a PE32 i386 DLL named Kestrune.dll, at most 80 KiB, that
# exports the six entry points undecorated with ordinals 1 to 6, and imports only what
# every Windows has. Nothing in it depends on when or where it was built: no time stamps,
# no source or build path.
# Usage: cmake -DDLL=<Kestrune.dll> -DOBJDUMP=<objdump> -DSOURCE_DIR=<source> -DBUILD_DIR=<build>
#              -P CheckDll.cmake

cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump cannot read ${DLL}")
endif()

set(failures "")
function(expect regex what)
    if(NOT dump MATCHES "${regex}")
        list(APPEND failures "${what}")
        set(failures "${failures}" PARENT_SCOPE)
    endif()
endfunction()

expect("file format pei-i386" "not an i386 PE image")
expect("Magic[ \t]+010b[ \t]+\\(PE32\\)" "not PE32")
expect("Characteristics [^\n]*\n([^\n]*\n)*[ \t]+DLL\n" "not a DLL")
expect("Name [ \t]*[0-9a-f]+ Kestrune\\.dll\n" "export name is not Kestrune.dll")

# The name table lists "[ index] Name" with index = ordinal - 1, up to a blank line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
    list(APPEND failures "no export name table")
    set(names "")
else()
    string(SUBSTRING "${dump}" ${start} -1 names)
    string(FIND "${names}" "\n\n" end)
    string(SUBSTRING "${names}" 0 ${end} names)
endif()
set(ordinal 0)
foreach(name APCGetPlugName APCVersionInfo APCStartUp APCSetup APCRecFilter APCFolderEndRetrieve)
    if(NOT names MATCHES "\\[[ ]*${ordinal}\\] ${name}(\n|$)")
        math(EXPR shown "${ordinal} + 1")
        list(APPEND failures "${name} is not exported undecorated with ordinal ${shown}")
    endif()
    math(EXPR ordinal "${ordinal} + 1")
endforeach()
string(REGEX MATCHALL "\\[[ ]*[0-9]+\\] [^\n]+" exports "${names}")
list(LENGTH exports export_count)
if(NOT export_count EQUAL 6)
    list(APPEND failures "${export_count} exports instead of 6: ${exports}")
endif()

set(system_dlls kernel32.dll user32.dll winmm.dll msvcrt.dll gdi32.dll advapi32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(import_names "")
foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    list(APPEND import_names ${name})
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST system_dlls)
        list(APPEND failures "imports ${name}, which users do not have")
    endif()
endforeach()

# The PE header's time stamp sits 8 bytes into the header, whose offset is at 0x3c.
file(READ ${DLL} offset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" offset "${offset}")
math(EXPR offset "0x${offset} + 8")
file(READ ${DLL} stamp OFFSET ${offset} LIMIT 4 HEX)
if(NOT stamp STREQUAL "00000000")
    list(APPEND failures "the PE header carries the time stamp ${stamp}")
endif()
expect("Time/Date stamp[ \t]+0\n" "the export directory carries a time stamp")
file(STRINGS ${DLL} texts)
foreach(folder ${SOURCE_DIR} ${BUILD_DIR})
    string(FIND "${texts}" "${folder}" at)
    if(NOT at EQUAL -1)
        list(APPEND failures "the image holds the path ${folder}")
    endif()
endforeach()

# What users download stays small.
file(SIZE ${DLL} size)
if(size GREATER 81920)
    list(APPEND failures "${size} bytes: more than 80 KiB")
endif()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "${DLL}:\n  ${text}")
endif()
message(STATUS "Kestrune.dll: ${size} bytes, imports ${import_names}")
