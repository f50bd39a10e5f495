# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers.
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64.cmake \
#     -DTINTWISE_WINDOWS_DEPS_PREFIX=<prefix made by tools/windows/build-deps.sh>
# Libraries, headers and CMake/pkg-config packages come from that prefix only;
# everything links statically, so a program is one .exe with no runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers: the win32 thread model's libstdc++ has no std::thread,
# std::mutex or std::condition_variable.
set(TINTWISE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TINTWISE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TINTWISE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TINTWISE_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TINTWISE_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TINTWISE_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

# try_compile projects see only the variables listed here, the environment
# variable serves scripts that do not pass the cache variable.
set(TINTWISE_WINDOWS_DEPS_PREFIX "$ENV{TINTWISE_WINDOWS_DEPS_PREFIX}" CACHE PATH
    "Prefix holding the Windows builds of the libraries (tools/windows/build-deps.sh)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TINTWISE_WINDOWS_DEPS_PREFIX)
if(NOT TINTWISE_WINDOWS_DEPS_PREFIX)
  message(FATAL_ERROR "Set TINTWISE_WINDOWS_DEPS_PREFIX to the prefix tools/windows/build-deps.sh printed")
endif()

set(CMAKE_FIND_ROOT_PATH ${TINTWISE_WINDOWS_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the prefix's .pc files and none of the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} ${TINTWISE_WINDOWS_DEPS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# GCC does not align the Win64 stack to 32 bytes, so an AVX register spilled
# with an aligned move can fault: let the assembler emit unaligned moves.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
# GCC 12 for this target warns falsely at -O2 on std::string's operator+ and
# replace (a copy "of 9223372036854775810 or more bytes", overlapping
# copies) and on strings inside a std::optional being built; the same code
# builds warning-free with the Linux compiler, which keeps these warnings on.
set(CMAKE_CXX_FLAGS_INIT
  "-Wa,-muse-unaligned-vector-move -Wno-stringop-overflow -Wno-restrict -Wno-maybe-uninitialized")
# The optimisation level of the Linux build (-O2), so that the signature's
# code is compiled the same way on both systems.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
# winpthreads, libstdc++ and libgcc linked in: the programs import only
# system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest (and test discovery) run the programs under Wine with a private
# prefix in the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env TINTWISE_WINDOWS_BUILD_DIR=${CMAKE_BINARY_DIR}
    ${CMAKE_CURRENT_LIST_DIR}/../tools/windows/wine-run.sh)
