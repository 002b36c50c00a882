# Makes the release package as the release command does, opens it, and checks what a user
# gets: exactly Kestrune.dll (the one built) and Kestrune.txt, a Japanese readme that decodes
# as code page 932 and has CRLF line ends only.
# Usage: cmake -DBUILD_DIR=<build> -DDLL=<Kestrune.dll> -DVERSION=<project version> -P CheckRelease.cmake

cmake_minimum_required(VERSION 3.20)

set(package Kestrune-${VERSION}.zip)

set(work ${BUILD_DIR}/release-check)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/unpacked)
execute_process(COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -B ${work}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT EXISTS ${work}/${package})
    message(FATAL_ERROR "cpack made no ${package}:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${work}/${package}
                WORKING_DIRECTORY ${work}/unpacked RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${package} cannot be opened")
endif()

set(failures "")
file(GLOB_RECURSE entries RELATIVE ${work}/unpacked ${work}/unpacked/*)
list(SORT entries)
if(NOT entries STREQUAL "Kestrune.dll;Kestrune.txt")
    list(APPEND failures "the archive holds ${entries}, not Kestrune.dll and Kestrune.txt")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DLL} ${work}/unpacked/Kestrune.dll RESULT_VARIABLE differs)
if(differs)
    list(APPEND failures "Kestrune.dll in the archive is not the one built")
endif()

set(readme ${work}/unpacked/Kestrune.txt)
# Read as bytes: text mode would take the CRs away. Each byte becomes " xx".
file(READ ${readme} hex HEX)
string(REGEX REPLACE "(..)" " \\1" bytes "${hex}")
string(REGEX MATCHALL " 0d 0a" crlf "${bytes}")
string(REGEX MATCHALL " 0d" cr "${bytes}")
string(REGEX MATCHALL " 0a" lf "${bytes}")
list(LENGTH crlf crlf_count)
list(LENGTH cr cr_count)
list(LENGTH lf lf_count)
if(crlf_count EQUAL 0 OR NOT cr_count EQUAL crlf_count OR NOT lf_count EQUAL crlf_count)
    list(APPEND failures "Kestrune.txt has line ends other than CRLF (${crlf_count} CRLF, ${cr_count} CR, ${lf_count} LF)")
endif()
execute_process(COMMAND iconv -f CP932 -t UTF-8 ${readme} OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    list(APPEND failures "Kestrune.txt does not decode as code page 932")
endif()
foreach(part "Kestrune Ver${VERSION}" "インストール" "アンインストール" "設定" "Kestrune.ini" "Drive=" "RunOn"
             "CloseOn" "デフォルト" "全て" "閉じてからイジェクトする" "履歴")
    string(FIND "${text}" "${part}" at)
    if(at EQUAL -1)
        list(APPEND failures "Kestrune.txt does not mention ${part}")
    endif()
endforeach()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "${package}:\n  ${text}")
endif()
message(STATUS "${package}: ${entries}")
