# SPDX-License-Identifier: MIT
# The Windows installer (cpack in the MinGW build folder makes
# kavni-wizard-<version>-setup.exe): the wizard, the DLLs it imports and the Qt
# plug-ins it loads, the data set, the management tool in x32\ and x64\, a
# Start-menu entry and an uninstaller.

# The DLLs come from what the programs import, followed from DLL to DLL: one
# found in Qt's folder or the compiler's is shipped beside the wizard, one found
# nowhere there is the system's own. The plug-ins are what Qt loads at run
# time: the platform (drawing, input), and the style that looks like Windows.
find_program(KAVNI_MINGW_OBJDUMP NAMES ${KAVNI_MINGW_PREFIX}-objdump objdump REQUIRED)
get_target_property(kavni_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT kavni_qtcore_dll)
    get_target_property(kavni_qtcore_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(kavni_qt_bin "${kavni_qtcore_dll}" DIRECTORY)
get_filename_component(kavni_qt_plugins "${kavni_qt_bin}/../plugins" ABSOLUTE)
execute_process(COMMAND ${KAVNI_MINGW_CXX} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE kavni_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${KAVNI_MINGW_CXX} -print-file-name=libwinpthread-1.dll
    OUTPUT_VARIABLE kavni_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
set(kavni_dll_dirs "${kavni_qt_bin}")
foreach(found IN ITEMS "${kavni_libstdcxx}" "${kavni_winpthread}")
    if(IS_ABSOLUTE "${found}")
        get_filename_component(dir "${found}" DIRECTORY)
        list(APPEND kavni_dll_dirs "${dir}")
    endif()
endforeach()
list(APPEND kavni_dll_dirs /usr/${KAVNI_MINGW_PREFIX}/lib)

set(kavni_plugins platforms/qwindows.dll)
if(EXISTS "${kavni_qt_plugins}/styles/qwindowsvistastyle.dll")
    list(APPEND kavni_plugins styles/qwindowsvistastyle.dll)
endif()

install(CODE "
set(objdump \"${KAVNI_MINGW_OBJDUMP}\")
set(dll_dirs \"${kavni_dll_dirs}\")
set(plugin_dir \"${kavni_qt_plugins}\")
set(plugins \"${kavni_plugins}\")
set(dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
foreach(plugin IN LISTS plugins)
    get_filename_component(sub \"\${plugin}\" DIRECTORY)
    file(INSTALL \"\${plugin_dir}/\${plugin}\" DESTINATION \"\${dest}/\${sub}\")
    list(APPEND pending \"\${plugin_dir}/\${plugin}\")
endforeach()
list(APPEND pending \"$<TARGET_FILE:kavni-wizard>\")
set(seen \"\")
while(pending)
    list(POP_FRONT pending binary)
    execute_process(COMMAND \"\${objdump}\" -p \"\${binary}\" OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR \"Cannot read the imports of \${binary}\")
    endif()
    string(REGEX MATCHALL \"DLL Name: [^\\r\\n]+\" imports \"\${headers}\")
    foreach(line IN LISTS imports)
        string(REPLACE \"DLL Name: \" \"\" dll \"\${line}\")
        string(TOLOWER \"\${dll}\" key)
        list(FIND seen \"\${key}\" known)
        if(known GREATER -1)
            continue()
        endif()
        list(APPEND seen \"\${key}\")
        foreach(dir IN LISTS dll_dirs)
            if(EXISTS \"\${dir}/\${dll}\")
                file(INSTALL \"\${dir}/\${dll}\" DESTINATION \"\${dest}\")
                list(APPEND pending \"\${dir}/\${dll}\")
                break()
            endif()
        endforeach()
    endforeach()
endwhile()
")

# The values below reach the installer script as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME kavni-wizard)
set(CPACK_PACKAGE_VENDOR Talvor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prepares a Talvor card printer: firmware and adjustment")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kavni-wizard-${PROJECT_VERSION}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Talvor\\Kavni Wizard")
set(CPACK_PACKAGE_EXECUTABLES kavni-wizard "Kavni Wizard")
set(CPACK_NSIS_PACKAGE_NAME "Kavni Wizard")
set(CPACK_NSIS_DISPLAY_NAME "Kavni Wizard")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN kavni-wizard.exe)
# makensis makes a 32-bit installer unless told otherwise; a 64-bit program
# belongs in a 64-bit installer (and a 64-bit-only Wine runs no other).
# KavniWriteForFolder copies a data file byte for byte and writes the install
# folder, with forward slashes, where the file holds the byte 0x01.
set(CPACK_NSIS_DEFINES [=[
Target amd64-unicode
!include WordFunc.nsh
Function KavniWriteForFolder
  Exch $R1
  Push $R0
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R0 "$R1.tmpl"
  Delete "$R0"
  Rename "$R1" "$R0"
  ${WordReplace} "$INSTDIR" "\" "/" "+" $R5
  FileOpen $R2 "$R0" r
  FileOpen $R3 "$R1" w
  next:
    ClearErrors
    FileReadByte $R2 $R4
    IfErrors done
    IntCmp $R4 1 0 copy copy
    FileWrite $R3 "$R5"
    Goto next
  copy:
    FileWriteByte $R3 $R4
    Goto next
  done:
  FileClose $R2
  FileClose $R3
  Delete "$R0"
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R0
  Pop $R1
FunctionEnd
]=])
set(kavni_folder_files wzkavni.dat)
foreach(language IN ITEMS en fr es)
    list(APPEND kavni_folder_files "messages\\messages_${language}.xml")
endforeach()
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "")
foreach(file IN LISTS kavni_folder_files)
    string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "  Push \"$INSTDIR\\${file}\"\n  Call KavniWriteForFolder\n")
endforeach()
include(CPack)
