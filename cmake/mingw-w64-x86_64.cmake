# Cross-compiles for 64-bit Windows with Debian's MinGW-w64.
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DJUCE_DIR=/usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5
# JUCE_DIR must be given: a Windows target does not search the multiarch
# folder where Debian puts JUCE's CMake package.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)

# The posix thread model: JUCE needs std::thread and std::mutex, which the
# win32 variant of the compiler lacks.
set(CMAKE_C_COMPILER   ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER  ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
# Build tools (juceaide, windres) run on the host; libraries and headers must
# come from the MinGW tree only; packages from both, because JUCE's CMake
# package lives in the host tree.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Link the C/C++ runtimes and winpthread statically so the .exe runs on a
# Windows machine without any MinGW DLLs beside it; -s strips it to about
# half the size.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
