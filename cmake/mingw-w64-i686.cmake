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

# SSE2 is this build's floor, as every x86-64 processor's: the noise kernels and the
# frame verifier use it unconditionally, and floating point done in SSE registers
# rounds as the x86-64 build does, where the x87 unit's wider registers would not.
# With SSE enabled the compiler realigns the stack of any function that keeps vectors
# there, since 32-bit Windows only promises 4-byte alignment to a thread's entry and to
# callbacks.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(CMAKE_FIND_ROOT_PATH /usr/${toolPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
