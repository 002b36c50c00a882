# Writes <OUT_DIR>/<name>.zip and <name>.zip.sha256 so that one commit gives the same bytes
# in any folder, time zone and umask: the files in a fixed order, each 0644 and dated with
# the commit's time, without the extra fields that would hold the builder's uid/gid and
# access times. The zip's DOS times are local times, so zip runs in UTC.
# The time is SOURCE_DATE_EPOCH when set, else the commit's time (git log) in a git checkout;
# in a tree without git, 1980-01-01 00:00:00 UTC, the earliest time a zip entry holds.
# The archive's comment names the commit and the Debian release that built it: another
# release's compiler makes another DLL, so a rebuild must know both.
# Usage: cmake -DSETTINGS=<PackageSettings.cmake> -DOUT_DIR=<folder> -P MakePackage.cmake

cmake_minimum_required(VERSION 3.20)

include(${SETTINGS})  # SOURCE_DIR, PACKAGE_NAME, PACKAGE_FILES, ZIP_PROGRAM
if(NOT ZIP_PROGRAM)
    message(FATAL_ERROR "the release package needs the zip program (Debian package zip)")
endif()

set(earliest 315532800)  # 1980-01-01 00:00:00 UTC
set(latest 4354819198)   # 2107-12-31 23:59:58 UTC
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(origin "SOURCE_DATE_EPOCH")
elseif(EXISTS ${SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_VARIABLE error ERROR_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "git cannot tell the commit's time (${error}); set SOURCE_DATE_EPOCH")
    endif()
    set(origin "the commit")
else()
    set(epoch ${earliest})
    set(origin "no git checkout and no SOURCE_DATE_EPOCH")
endif()
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS earliest OR epoch GREATER latest)
    message(FATAL_ERROR "'${epoch}' from ${origin} is no time a zip can hold "
                        "(seconds since 1970, from 1980 to 2107)")
endif()
# A zip holds even seconds only; rounding here keeps the entries' times exactly the ones set.
math(EXPR epoch "${epoch} - ${epoch} % 2")

set(stage ${OUT_DIR}/${PACKAGE_NAME}.stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
set(names "")
foreach(path IN LISTS PACKAGE_FILES)
    file(COPY ${path} DESTINATION ${stage}
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    get_filename_component(name ${path} NAME)
    list(APPEND names ${name})
endforeach()

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${stage}
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}:\n${output}")
    endif()
endfunction()

set(source "a tree without git")
if(EXISTS ${SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse HEAD OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND git -C ${SOURCE_DIR} diff --quiet HEAD -- RESULT_VARIABLE changed)
    set(source "commit ${commit}")
    if(NOT changed EQUAL 0)
        string(APPEND source " with uncommitted changes")
    endif()
endif()
set(system "an unknown system")
if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release pretty REGEX "^PRETTY_NAME=")
    if(pretty MATCHES "^PRETTY_NAME=\"?([^\"]*)")
        set(system "${CMAKE_MATCH_1}")
    endif()
endif()
file(WRITE ${stage}.comment "${PACKAGE_NAME} from ${source}, built on ${system}")

run(touch -d @${epoch} ${names})
set(zip ${OUT_DIR}/${PACKAGE_NAME}.zip)
# zip adds to an archive that is there already.
file(REMOVE ${zip} ${zip}.sha256)
set(ENV{TZ} UTC0)
unset(ENV{ZIPOPT})
unset(ENV{ZIP})
# -X: no extra fields (uid/gid, Unix times); -D: no folder entries; -z: the comment, from
# standard input.
run(${ZIP_PROGRAM} -X -D -9 -q -z ${zip} ${names} INPUT_FILE ${stage}.comment)
file(REMOVE_RECURSE ${stage} ${stage}.comment)

# The form sha256sum -c reads, with the bare name, to be checked beside the download.
file(SHA256 ${zip} hash)
file(WRITE ${zip}.sha256 "${hash}  ${PACKAGE_NAME}.zip\n")
message(STATUS "${PACKAGE_NAME}.zip: from ${source}, built on ${system}, entries dated ${epoch} (${origin}), SHA-256 ${hash}")
