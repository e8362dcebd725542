# Installs the library for other programs: its four static layers, the
# headers its interface needs, a CMake package (find_package(seqconv) gives
# seqconv::core) and a pkg-config file (seqconv.pc).

include(CMakePackageConfigHelpers)

set(SEQCONV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/seqconv)

install(TARGETS seqconv_lib seqconv_formats seqconv_midi seqconv_base EXPORT seqconvTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# seqconv.h and what it includes, no more.
install(FILES include/seqconv/seqconv.h include/seqconv/seqconv_c.h include/seqconv/song_facts.h include/seqconv/loop_play.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/seqconv)
install(FILES midi/midi_container.h midi/midi_event.h midi/midi_track.h midi/promote.h midi/merge.h midi/smf_writer.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/seqconv/midi)
install(FILES base/workers.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/seqconv/base)
install(FILES formats/input_format.h formats/fault.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/seqconv/formats)

install(EXPORT seqconvTargets NAMESPACE seqconv:: DESTINATION ${SEQCONV_CMAKE_DIR})
configure_package_config_file(cmake/seqconvConfig.cmake.in ${PROJECT_BINARY_DIR}/seqconvConfig.cmake
                              INSTALL_DESTINATION ${SEQCONV_CMAKE_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/seqconvConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/seqconvConfig.cmake ${PROJECT_BINARY_DIR}/seqconvConfigVersion.cmake
        DESTINATION ${SEQCONV_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so that an
# installation moved elsewhere (or made with --prefix or DESTDIR) still works.
foreach(dir LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
        set(SEQCONV_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
        set(SEQCONV_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(SEQCONV_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH SEQCONV_PC_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
    string(REGEX REPLACE "/$" "" SEQCONV_PC_PREFIX "${SEQCONV_PC_PREFIX}")
    set(SEQCONV_PC_PREFIX "\${pcfiledir}/${SEQCONV_PC_PREFIX}")
endif()
# The layers in link order: each after those that use it.
set(SEQCONV_PC_LIBS "-lseqconv -lseqconv_formats -lseqconv_midi -lseqconv_base")
# A program written in C links the C++ runtime that the library needs.
set(runtime "")
foreach(lib IN LISTS CMAKE_CXX_IMPLICIT_LINK_LIBRARIES)
    if(lib MATCHES "^(stdc\\+\\+|c\\+\\+|c\\+\\+abi|m)$")
        list(APPEND runtime "-l${lib}")
    endif()
endforeach()
if(SEQCONV_THREADS AND CMAKE_THREAD_LIBS_INIT)
    list(APPEND runtime "${CMAKE_THREAD_LIBS_INIT}")
endif()
list(REMOVE_DUPLICATES runtime)
list(JOIN runtime " " SEQCONV_PC_PRIVATE_LIBS)
configure_file(cmake/seqconv.pc.in ${PROJECT_BINARY_DIR}/seqconv.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/seqconv.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
