# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64, the posix-thread
# variant). The build without Qt links statically, so that its programs need no DLL of the
# toolchain; the whole program (STITCHWELL_WIN_PREFIXES: the folders of the Windows libraries that
# scripts/windows-deps built) links the toolchain's runtime as DLLs, as Qt's own DLLs do, and ships
# them. Tests run under
# wine64 through ctest's emulator (cmake/wine-run); Debian keeps wine64 in wine's own folder, not
# on the search path.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX} ${STITCHWELL_WIN_PREFIXES})
list(APPEND CMAKE_PREFIX_PATH ${STITCHWELL_WIN_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT STITCHWELL_WIN_PREFIXES)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

find_program(STITCHWELL_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine /usr/bin NO_DEFAULT_PATH)
if(STITCHWELL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run ${STITCHWELL_WINE64})
endif()
