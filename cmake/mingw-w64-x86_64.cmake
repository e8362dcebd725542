# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
#
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF
#
# The program is linked statically against the compiler's runtime, so
# seqconv.exe needs no DLL beside it: it imports only system DLLs (KERNEL32.dll
# and the C runtime msvcrt.dll).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SEQCONV_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix-thread variant by name, where installed, so that the choice does
# not depend on the system's alternatives; the plain name otherwise.
find_program(SEQCONV_MINGW_CXX NAMES ${SEQCONV_MINGW_TRIPLET}-g++-posix ${SEQCONV_MINGW_TRIPLET}-g++ REQUIRED)
find_program(SEQCONV_MINGW_CC NAMES ${SEQCONV_MINGW_TRIPLET}-gcc-posix ${SEQCONV_MINGW_TRIPLET}-gcc)
find_program(SEQCONV_MINGW_RC NAMES ${SEQCONV_MINGW_TRIPLET}-windres)
set(CMAKE_CXX_COMPILER ${SEQCONV_MINGW_CXX})
if(SEQCONV_MINGW_CC)
    set(CMAKE_C_COMPILER ${SEQCONV_MINGW_CC})
endif()
if(SEQCONV_MINGW_RC)
    set(CMAKE_RC_COMPILER ${SEQCONV_MINGW_RC})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${SEQCONV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
