# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The -posix compilers bring std::thread. Programs without Qt are linked statically, so that
# they run under Wine (or on Windows) without the compiler's DLLs beside them. The Qt kit and the
# station built on it share the compiler's runtime DLLs instead (TAVRO_MINGW_SHARED_RUNTIME), so
# that Qt's libraries and the program use one C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRO_MINGW_TRIPLE})
# Qt for Windows (scripts/qt-windows-kit.sh) is found beside the compiler's own files; its
# code generators (moc, uic) are the build machine's, from Debian's Qt of the same version.
if(TAVRO_QT_KIT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TAVRO_QT_KIT})
  set(TAVRO_MINGW_SHARED_RUNTIME ON)
  set(QT_HOST_PATH /usr CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVRO_MINGW_SHARED_RUNTIME TAVRO_QT_KIT)
if(NOT TAVRO_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

# mingw-w64's GCC 12 reports out-of-bounds copies inside std::vector::insert at -O2 that
# cannot happen (a known false positive of that release). The native build keeps the check
# as an error on the same code; here it stays a warning.
set(CMAKE_CXX_FLAGS_INIT "-Wno-error=array-bounds")

# Tests run through Wine unless the caller names another emulator.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TAVRO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(TAVRO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRO_WINE})
  endif()
endif()
