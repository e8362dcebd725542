# Builds the core for WebAssembly with Emscripten (Debian: emscripten), for
# the web page and its command-line twin in web/:
#
#   cmake -S . -B build/web -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
#
# web/build.sh does this, installing the compiler first. Only the core and the
# module in web/ are built; the program, its tests and the tools need a file
# system and a host to run on.

# Emscripten's own platform file lies beside emcc's scripts.
find_program(SEQCONV_EMCC emcc REQUIRED)
get_filename_component(SEQCONV_EMSCRIPTEN_ROOT "${SEQCONV_EMCC}" REALPATH)
get_filename_component(SEQCONV_EMSCRIPTEN_ROOT "${SEQCONV_EMSCRIPTEN_ROOT}" DIRECTORY)
include("${SEQCONV_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")

# The core reports a song no Standard MIDI File can hold, and memory running
# out, by throwing; Emscripten would otherwise abort at the first throw.
set(CMAKE_CXX_FLAGS_INIT "-fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions")

# Debian's emcc runs JavaScript helpers that need modules (acorn) from
# /usr/share/nodejs, where only Debian's own node looks; a node from
# elsewhere (NodeSource's, say) is shown the way.
if(EXISTS /usr/share/nodejs)
    set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endif()
