# The release package velkor-<major>.<minor>-win32.zip: what a Windows user
# copies into a folder and starts, nothing else. Included from the top-level
# CMakeLists.txt after the tools (velkor-echo) are defined.
set(VELKOR_PACKAGE_NAME velkor-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}-win32.zip)

# The package test checks the package of the shipped i686 build: this build's
# own, or in a 64-bit test build that of build/ (see tools/build.sh).
if(NOT DEFINED VELKOR_PACKAGE_ZIP)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        set(VELKOR_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${VELKOR_PACKAGE_NAME})
    elseif(EXISTS ${CMAKE_SOURCE_DIR}/build/CMakeCache.txt)
        set(VELKOR_PACKAGE_ZIP ${CMAKE_SOURCE_DIR}/build/${VELKOR_PACKAGE_NAME})
    endif()
endif()

# Only the 32-bit build ships.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    return()
endif()

# LIESMICH.txt is kept as UTF-8 with LF line ends; Windows users get it in
# Windows-1252 with CR LF. The German letters are all it may use beyond ASCII,
# so that nothing reaches the package unconverted.
set(liesmich_source ${CMAKE_SOURCE_DIR}/help/LIESMICH.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${liesmich_source})
file(READ ${liesmich_source} liesmich)
string(REPLACE "\r" "" liesmich "${liesmich}")
set(rest "${liesmich}")
foreach(letter "Ä=196" "Ö=214" "Ü=220" "ß=223" "ä=228" "ö=246" "ü=252")
    string(REPLACE "=" ";" letter "${letter}")
    list(GET letter 0 utf8)
    list(GET letter 1 code)
    string(ASCII ${code} cp1252)
    string(REPLACE "${utf8}" "${cp1252}" liesmich "${liesmich}")
    string(REPLACE "${utf8}" "" rest "${rest}")
endforeach()
string(REGEX MATCH "[^\t\n -~]+" other "${rest}")
if(other)
    message(FATAL_ERROR "${liesmich_source}: \"${other}\" has no place in the package's "
        "Windows-1252 text (only ASCII and ÄÖÜäöüß are converted)")
endif()
string(REPLACE "\n" "\r\n" liesmich "${liesmich}")
# Written only when it changes, so that configuring does not repack.
set(liesmich_file ${CMAKE_BINARY_DIR}/LIESMICH.txt)
string(SHA256 liesmich_hash "${liesmich}")
if(EXISTS ${liesmich_file})
    file(SHA256 ${liesmich_file} liesmich_old_hash)
endif()
if(NOT liesmich_hash STREQUAL liesmich_old_hash)
    file(WRITE ${liesmich_file} "${liesmich}")
endif()

# The package is put together in a folder of its own, so that the zip holds
# exactly these files at its top level.
set(package_zip ${CMAKE_BINARY_DIR}/${VELKOR_PACKAGE_NAME})
set(package_stage ${CMAKE_BINARY_DIR}/package)
set(package_files
    $<TARGET_FILE:velkor>
    ${CMAKE_BINARY_DIR}/velkor.html
    $<TARGET_FILE:velkor-echo>
    ${liesmich_file}
    ${CMAKE_SOURCE_DIR}/LICENSE)
set(package_names
    $<TARGET_FILE_NAME:velkor> velkor.html $<TARGET_FILE_NAME:velkor-echo> LIESMICH.txt LICENSE)
add_custom_command(OUTPUT ${package_zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_stage} ${package_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_stage}
    COMMAND ${CMAKE_COMMAND} -E copy ${package_files} ${package_stage}
    COMMAND ${CMAKE_COMMAND} -E chdir ${package_stage}
        ${CMAKE_COMMAND} -E tar cf ${package_zip} --format=zip ${package_names}
    DEPENDS velkor velkor-echo ${package_files}
    COMMENT "Packing ${VELKOR_PACKAGE_NAME}"
    VERBATIM)
add_custom_target(dist DEPENDS ${package_zip})
