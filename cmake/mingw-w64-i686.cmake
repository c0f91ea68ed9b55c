# Cross toolchain: Windows x86 (32-bit) programs and DLLs built on Debian with mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(toolPrefix i686-w64-mingw32)
# The posix thread model gives the tests std::thread; -static below keeps its
# runtime inside each binary.
set(CMAKE_C_COMPILER ${toolPrefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolPrefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolPrefix}-windres)
set(CMAKE_OBJDUMP ${toolPrefix}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${toolPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
