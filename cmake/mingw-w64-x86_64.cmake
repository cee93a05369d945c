# Cross build for 64-bit Windows with MinGW-w64.
#
# The -posix compilers are used because the win32 thread model has no
# std::thread or std::mutex.  libgcc, libstdc++ and winpthread are linked
# statically so that the executables run on a bare Windows (or Wine) without
# any MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLC_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${PLC_MINGW_PREFIX}-gcc-posix ${PLC_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PLC_MINGW_PREFIX}-g++-posix ${PLC_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PLC_MINGW_PREFIX}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${PLC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static links libgcc, libstdc++ and winpthread statically; the system
# libraries stay import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs and tests run under Wine on a non-Windows build machine.
if(NOT CMAKE_HOST_WIN32)
  find_program(PLC_WINE NAMES wine wine64)
  if(PLC_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PLC_WINE})
  endif()
endif()
