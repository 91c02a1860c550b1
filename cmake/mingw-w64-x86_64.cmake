# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64).
# The posix flavour of the compiler is preferred: its C++ library has std::thread
# and std::mutex, which the win32 flavour of g++ 12 lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KAVNI_MINGW_PREFIX x86_64-w64-mingw32)
find_program(KAVNI_MINGW_CXX NAMES ${KAVNI_MINGW_PREFIX}-g++-posix ${KAVNI_MINGW_PREFIX}-g++ REQUIRED)
find_program(KAVNI_MINGW_CC NAMES ${KAVNI_MINGW_PREFIX}-gcc-posix ${KAVNI_MINGW_PREFIX}-gcc REQUIRED)
find_program(KAVNI_MINGW_RC NAMES ${KAVNI_MINGW_PREFIX}-windres)
set(CMAKE_C_COMPILER ${KAVNI_MINGW_CC})
set(CMAKE_CXX_COMPILER ${KAVNI_MINGW_CXX})
if(KAVNI_MINGW_RC)
    set(CMAKE_RC_COMPILER ${KAVNI_MINGW_RC})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${KAVNI_MINGW_PREFIX})
# Packages built for Windows outside the compiler's folder (Qt, scripts/build-qt-mingw) are
# found where CMAKE_PREFIX_PATH names them.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their C and C++ runtimes inside, so they run under Wine or on a
# bare Windows without the compiler's DLLs beside them. The wizard shares the
# runtime DLLs its Qt was built with (KAVNI_MINGW_SHARED_RUNTIME=ON), as two C++
# runtimes in one process would each keep their own heap and exceptions.
if(NOT KAVNI_MINGW_SHARED_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
    set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
endif()
