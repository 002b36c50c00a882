# Makes the release package as the release command does, opens it, and checks what a user
# gets: exactly Kestrune.dll (the one built), Kestrune.txt, a Japanese readme that decodes as
# code page 932, and LICENSE.txt, the project's licence, both texts with CRLF line ends only;
# a checksum file that sha256sum -c accepts; and the same bytes whatever the folder, time
# zone and umask, with every entry 0644, dated with the commit's time (or SOURCE_DATE_EPOCH)
# and free of extra fields, and a comment naming the commit and the Debian release.
# Usage: cmake -DBUILD_DIR=<build> -DDLL=<Kestrune.dll> -DVERSION=<project version>
#              -DSETTINGS=<release/PackageSettings.cmake> -P CheckRelease.cmake

cmake_minimum_required(VERSION 3.20)

include(${SETTINGS})
set(package Kestrune-${VERSION}.zip)
set(contents "Kestrune.dll;Kestrune.txt;LICENSE.txt")
set(work ${BUILD_DIR}/release-check)
file(REMOVE_RECURSE ${work})

# Makes the package in work/<folder> under the given umask and time zone (a POSIX TZ, so that
# no zone database is needed), with SOURCE_DATE_EPOCH as the fourth argument says or unset;
# sets made_status and made_output.
function(make_package folder mask zone)
    if(ARGC GREATER 3)
        set(epoch SOURCE_DATE_EPOCH=${ARGV3})
    else()
        set(epoch --unset=SOURCE_DATE_EPOCH)
    endif()
    file(MAKE_DIRECTORY ${work}/${folder})
    execute_process(COMMAND sh -c "umask ${mask} && exec \"$@\"" sh
                            ${CMAKE_COMMAND} -E env ${epoch} TZ=${zone}
                            ${CMAKE_COMMAND} -DSETTINGS=${SETTINGS} -DOUT_DIR=${work}/${folder}
                            -P ${CMAKE_CURRENT_LIST_DIR}/../release/MakePackage.cmake
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    set(made_status ${status} PARENT_SCOPE)
    set(made_output "${output}" PARENT_SCOPE)
endfunction()

# The little-endian number of <size> bytes at byte <at> (an expression) of the hex text <hex>.
function(read_le hex at size out)
    math(EXPR first "(${at}) * 2")
    math(EXPR length "${size} * 2")
    string(SUBSTRING "${hex}" ${first} ${length} bytes)
    string(REGEX MATCHALL ".." bytes "${bytes}")
    list(REVERSE bytes)
    list(JOIN bytes "" bytes)
    math(EXPR value "0x${bytes}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# Reads the zip's central directory and each entry's local header, and appends to failures
# whatever differs from: the entries <names> in that order, each 0644 from a Unix system,
# dated <epoch> (as DOS date and time in UTC), with no extra field.
function(check_entries zip epoch names)
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    string(TIMESTAMP parts "%Y;%m;%d;%H;%M;%S" UTC)
    unset(ENV{SOURCE_DATE_EPOCH})
    list(GET parts 0 year)
    list(GET parts 1 month)
    list(GET parts 2 day)
    list(GET parts 3 hour)
    list(GET parts 4 minute)
    list(GET parts 5 second)
    math(EXPR want_date "((${year} - 1980) << 9) | (${month} << 5) | ${day}")
    math(EXPR want_time "(${hour} << 11) | (${minute} << 5) | (${second} / 2)")

    get_filename_component(label ${zip} NAME)
    file(READ ${zip} hex HEX)
    string(FIND "${hex}" "504b0506" end REVERSE)  # the end record, before the archive's comment
    math(EXPR end "${end} / 2")
    read_le("${hex}" ${end} 4 signature)
    if(NOT signature EQUAL 0x06054b50)
        list(APPEND failures "${label}: no end of central directory where it should be")
        set(failures "${failures}" PARENT_SCOPE)
        return()
    endif()
    read_le("${hex}" "${end} + 10" 2 count)
    read_le("${hex}" "${end} + 16" 4 at)
    set(found "")
    foreach(index RANGE 1 ${count})
        read_le("${hex}" ${at} 4 signature)
        if(NOT signature EQUAL 0x02014b50)
            list(APPEND failures "${label}: central directory entry ${index} is damaged")
            break()
        endif()
        read_le("${hex}" "${at} + 5" 1 made_on)
        read_le("${hex}" "${at} + 12" 2 time)
        read_le("${hex}" "${at} + 14" 2 date)
        read_le("${hex}" "${at} + 28" 2 name_length)
        read_le("${hex}" "${at} + 30" 2 extra)
        read_le("${hex}" "${at} + 32" 2 comment)
        read_le("${hex}" "${at} + 38" 4 attributes)
        read_le("${hex}" "${at} + 42" 4 local)
        read_le("${hex}" "${local} + 10" 2 local_time)
        read_le("${hex}" "${local} + 12" 2 local_date)
        read_le("${hex}" "${local} + 28" 2 local_extra)
        math(EXPR mode "${attributes} >> 16")
        math(EXPR name_at "(${at} + 46) * 2")
        math(EXPR name_hex_length "${name_length} * 2")
        string(SUBSTRING "${hex}" ${name_at} ${name_hex_length} name_hex)
        string(REGEX MATCHALL ".." codes "${name_hex}")
        set(name "")
        foreach(code IN LISTS codes)
            math(EXPR code "0x${code}")
            string(ASCII ${code} char)
            string(APPEND name "${char}")
        endforeach()
        list(APPEND found "${name}")

        if(NOT made_on EQUAL 3 OR NOT mode EQUAL 0x81a4)
            math(EXPR mode "${mode}" OUTPUT_FORMAT HEXADECIMAL)
            list(APPEND failures "${label}: ${name} has mode ${mode} from system ${made_on}, not 0x81a4 (0644) from Unix (3)")
        endif()
        if(NOT time EQUAL want_time OR NOT date EQUAL want_date
           OR NOT local_time EQUAL want_time OR NOT local_date EQUAL want_date)
            list(APPEND failures "${label}: ${name} is dated ${date}/${time} (local header ${local_date}/${local_time}), not ${want_date}/${want_time}")
        endif()
        if(NOT extra EQUAL 0 OR NOT local_extra EQUAL 0)
            list(APPEND failures "${label}: ${name} has extra fields of ${extra} and ${local_extra} bytes")
        endif()
        math(EXPR at "${at} + 46 + ${name_length} + ${extra} + ${comment}")
    endforeach()
    if(NOT found STREQUAL names)
        list(JOIN found ", " found)
        list(JOIN names ", " names)
        list(APPEND failures "${label}: the entries are ${found}, not ${names}")
    endif()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

set(failures "")

# The package as released: the commit's time when built from a git checkout, else the
# earliest time a zip holds.
make_package(release 022 JST-9)
if(NOT made_status EQUAL 0 OR NOT EXISTS ${work}/release/${package})
    message(FATAL_ERROR "no ${package} was made:\n${made_output}")
endif()
if(EXISTS ${SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
    set(commit_time 315532800)
endif()
math(EXPR commit_time "${commit_time} - ${commit_time} % 2")
check_entries(${work}/release/${package} ${commit_time} "${contents}")
file(STRINGS ${work}/release/${package} comment REGEX "^Kestrune-${VERSION} from ")
if(NOT comment MATCHES " from (commit [0-9a-f]+|a tree without git).*, built on Debian GNU/Linux [0-9]+ ")
    list(APPEND failures "the archive's comment names no commit or no Debian release: ${comment}")
endif()

file(READ ${work}/release/${package}.sha256 sums)
if(NOT sums MATCHES "^[0-9a-f]+  ${package}\n$")
    list(APPEND failures "${package}.sha256 is not one line with the bare name: ${sums}")
endif()
execute_process(COMMAND sha256sum -c ${package}.sha256 WORKING_DIRECTORY ${work}/release
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    list(APPEND failures "sha256sum -c does not accept ${package}.sha256: ${output}")
endif()

# Another folder, time zone and umask give the same bytes.
make_package(elsewhere/in/a/deeper/folder 077 PST8)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${work}/release/${package}
                        ${work}/elsewhere/in/a/deeper/folder/${package}
                RESULT_VARIABLE differs)
if(NOT made_status EQUAL 0 OR differs)
    list(APPEND failures "${package} made under umask 077 in another folder and time zone differs:\n${made_output}")
endif()

# SOURCE_DATE_EPOCH rules the entries' times, rounded down to the even second a zip holds;
# a value that is no such time stops the package.
make_package(dated 022 UTC0 1234567891)
check_entries(${work}/dated/${package} 1234567890 "${contents}")
make_package(misdated 022 UTC0 yesterday)
if(made_status EQUAL 0 OR EXISTS ${work}/misdated/${package})
    list(APPEND failures "SOURCE_DATE_EPOCH=yesterday still made a package")
endif()

file(MAKE_DIRECTORY ${work}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${work}/release/${package}
                WORKING_DIRECTORY ${work}/unpacked RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${package} cannot be opened")
endif()

file(GLOB_RECURSE entries RELATIVE ${work}/unpacked ${work}/unpacked/*)
list(SORT entries)
if(NOT entries STREQUAL contents)
    list(APPEND failures "the archive holds ${entries}, not ${contents}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DLL} ${work}/unpacked/Kestrune.dll RESULT_VARIABLE differs)
if(differs)
    list(APPEND failures "Kestrune.dll in the archive is not the one built")
endif()

# Read as bytes: text mode would take the CRs away. Each byte becomes " xx".
foreach(text Kestrune.txt LICENSE.txt)
    file(READ ${work}/unpacked/${text} hex HEX)
    string(REGEX REPLACE "(..)" " \\1" bytes "${hex}")
    string(REGEX MATCHALL " 0d 0a" crlf "${bytes}")
    string(REGEX MATCHALL " 0d" cr "${bytes}")
    string(REGEX MATCHALL " 0a" lf "${bytes}")
    list(LENGTH crlf crlf_count)
    list(LENGTH cr cr_count)
    list(LENGTH lf lf_count)
    if(crlf_count EQUAL 0 OR NOT cr_count EQUAL crlf_count OR NOT lf_count EQUAL crlf_count)
        list(APPEND failures "${text} has line ends other than CRLF (${crlf_count} CRLF, ${cr_count} CR, ${lf_count} LF)")
    endif()
endforeach()
file(READ ${work}/unpacked/LICENSE.txt licence)
file(READ ${SOURCE_DIR}/LICENSE licence_source)
string(REPLACE "\r\n" "\n" licence "${licence}")
if(NOT licence STREQUAL licence_source)
    list(APPEND failures "LICENSE.txt is not the project's LICENSE")
endif()

set(readme ${work}/unpacked/Kestrune.txt)
execute_process(COMMAND iconv -f CP932 -t UTF-8 ${readme} OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    list(APPEND failures "Kestrune.txt does not decode as code page 932")
endif()
foreach(part "Kestrune Ver${VERSION}" "インストール" "アンインストール" "設定" "Kestrune.ini" "Drive=" "RunOn"
             "CloseOn" "デフォルト" "全て" "閉じてからイジェクトする" "履歴" "ANSI" "MIT" "無保証")
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
