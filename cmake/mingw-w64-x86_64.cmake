# Cross-compiling for 64-bit Windows with MinGW-w64 (posix thread model, for std::thread and
# std::mutex). The Windows builds of the dependencies live in one prefix outside the repository,
# named by ROUTEWARDEN_WIN_DEPS (default: ~/.cache/routewarden-windows/prefix); nothing of the
# build machine's own libraries is searched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)
# The message compiler, for the events' message table (app/CMakeLists.txt).
set(CMAKE_MC_COMPILER ${mingw}-windmc)

if(DEFINED ENV{ROUTEWARDEN_WIN_DEPS})
  set(routewarden_win_deps "$ENV{ROUTEWARDEN_WIN_DEPS}")
else()
  set(routewarden_win_deps "$ENV{HOME}/.cache/routewarden-windows")
endif()
set(ROUTEWARDEN_WIN_PREFIX "${routewarden_win_deps}/prefix")

set(CMAKE_FIND_ROOT_PATH /usr/${mingw} ${ROUTEWARDEN_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: the C and C++ runtimes and the thread library linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Release executables without symbols: they are shipped, not debugged in place.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# wxWidgets through the cross-built library's own wx-config; Boost header-only from a folder that
# holds just the boost headers of the build machine.
set(WX_CONFIG "${ROUTEWARDEN_WIN_PREFIX}/bin/wx-config" CACHE FILEPATH "wx-config of the Windows wxWidgets")
set(Boost_INCLUDE_DIR "${routewarden_win_deps}/boost-include" CACHE PATH "Folder holding only the boost headers")

# Test programs (and test discovery) run under Wine.
find_program(ROUTEWARDEN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ROUTEWARDEN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ROUTEWARDEN_WINE})
endif()
