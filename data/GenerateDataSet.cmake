# SPDX-License-Identifier: MIT
# Writes the files of the data set that name the wizard's own folder: the data
# file (the firmware path is absolute, as the wizard opens it as written), the
# message files (the help target is an absolute path, as the desktop opens it
# from the caller's folder) and the driver-type table, all from data/drivers.txt
# and the templates beside this file. Run when the build tree is configured and
# again when the wizard is installed, each time for its own folder.
#
#   kavni_generate_data_set(APP_DIR OUT_DIR)
#     APP_DIR  the folder the wizard runs from (absolute, forward slashes)
#     OUT_DIR  where the files are written (APP_DIR, or DESTDIR + APP_DIR)
# Needs KAVNI_DATA_SOURCE_DIR (this folder).

set(KAVNI_LANGUAGES en fr es)
# The firmware the wizard installs: the newer of the sample images.
set(KAVNI_FIRMWARE_IMAGE F2300.tfw)

function(kavni_xml_escape out text)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    string(REPLACE "\"" "&quot;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The lines of drivers.txt as three lists: families, driver-type words, names.
function(kavni_read_drivers families types names)
    file(STRINGS "${KAVNI_DATA_SOURCE_DIR}/drivers.txt" lines ENCODING UTF-8)
    set(f "")
    set(t "")
    set(n "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]*(#|$)")
            continue()
        endif()
        if(NOT line MATCHES "^[ \t]*([0-9]+)[ \t]+([a-z0-9_-]+)[ \t]+(.*[^ \t])[ \t]*$")
            message(FATAL_ERROR "drivers.txt: a line must read FAMILY TYPE NAME, not: ${line}")
        endif()
        list(APPEND f "${CMAKE_MATCH_1}")
        list(APPEND t "${CMAKE_MATCH_2}")
        list(APPEND n "${CMAKE_MATCH_3}")
    endforeach()
    set(${families} "${f}" PARENT_SCOPE)
    set(${types} "${t}" PARENT_SCOPE)
    set(${names} "${n}" PARENT_SCOPE)
endfunction()

# The version the image holds ("TFW1", then the version text in 16 NUL-padded
# bytes), reduced as the wizard reduces the printer's reply: letters dropped,
# then the leading digits.
function(kavni_firmware_value image out)
    file(READ "${image}" header LIMIT 20 HEX)
    string(SUBSTRING "${header}" 0 8 magic)
    if(NOT magic STREQUAL "54465731")
        message(FATAL_ERROR "${image} is no firmware image (it does not begin with TFW1)")
    endif()
    set(version "")
    foreach(offset RANGE 8 38 2)
        string(SUBSTRING "${header}" ${offset} 2 byte)
        if(byte STREQUAL "00" OR byte STREQUAL "")
            break()
        endif()
        math(EXPR code "0x${byte}")
        string(ASCII ${code} character)
        string(APPEND version "${character}")
    endforeach()
    string(REGEX REPLACE "[A-Za-z]" "" digits "${version}")
    if(NOT digits MATCHES "^([0-9]+)")
        message(FATAL_ERROR "${image}: the version \"${version}\" holds no number")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(kavni_generate_data_set appDir outDir)
    string(REGEX REPLACE "/+$" "" appDir "${appDir}")
    set(source "${KAVNI_DATA_SOURCE_DIR}")

    kavni_xml_escape(KAVNI_FIRMWARE_NAME "${appDir}/firmware/${KAVNI_FIRMWARE_IMAGE}")
    kavni_firmware_value("${source}/firmware/${KAVNI_FIRMWARE_IMAGE}" KAVNI_FIRMWARE_VALUE)

    kavni_read_drivers(families types names)
    list(LENGTH families KAVNI_DRIVER_COUNT)
    set(KAVNI_DRIVER_ENTRIES "")
    set(KAVNI_DRIVER_TYPES "")
    set(number 0)
    foreach(family type name IN ZIP_LISTS families types names)
        math(EXPR number "${number} + 1")
        kavni_xml_escape(name "${name}")
        string(APPEND KAVNI_DRIVER_ENTRIES
            "  <Data name=\"Driver_Name_${number}\"><Value>${name}</Value></Data>\n"
            "  <Data name=\"Driver_Type_${number}\"><Value>${family}</Value></Data>\n")
        string(APPEND KAVNI_DRIVER_TYPES "  <Data name=\"${family}\"><Value>${type}</Value></Data>\n")
    endforeach()

    configure_file("${source}/wzkavni.dat.in" "${outDir}/wzkavni.dat" @ONLY NEWLINE_STYLE UNIX)
    configure_file("${source}/tables/drvtype.xml.in" "${outDir}/tables/drvtype.xml" @ONLY NEWLINE_STYLE UNIX)
    kavni_xml_escape(KAVNI_MANUAL_DIR "${appDir}/manual")
    foreach(language IN LISTS KAVNI_LANGUAGES)
        configure_file("${source}/messages/messages_${language}.xml.in"
            "${outDir}/messages/messages_${language}.xml" @ONLY NEWLINE_STYLE UNIX)
    endforeach()
endfunction()

# The desktop entry of the installed wizard: its command and icon by absolute path.
function(kavni_generate_desktop_entry appDir outFile)
    string(REGEX REPLACE "/+$" "" appDir "${appDir}")
    # A quoted Exec argument takes "\\" before a quote, backquote or dollar, and
    # "\\\\" for a backslash (string escapes first, then the quoting rule).
    set(exec "${appDir}")
    string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
    foreach(character "\"" "`" "$")
        string(REPLACE "${character}" "\\\\${character}" exec "${exec}")
    endforeach()
    set(KAVNI_EXEC_DIR "${exec}")
    set(KAVNI_APP_DIR "${appDir}")
    configure_file("${KAVNI_DATA_SOURCE_DIR}/desktop/talvor-kavni-wizard.desktop.in" "${outFile}" @ONLY
        NEWLINE_STYLE UNIX)
endfunction()
