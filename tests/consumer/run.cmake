# Installs the built seqconv into a fresh prefix, builds the consumer project
# against it once through find_package and once through pkg-config, and
# checks that its C++ and its C program write, for every example file, the
# bytes that the installed seqconv program writes.
#
# cmake -D BUILD_DIR=... -D WORK_DIR=... -D CONFIG=... -D GENERATOR=...
#       -D CXX_COMPILER=... -D LIBDIR=... -D WITH_PKG_CONFIG=ON|OFF
#       -D EXAMPLES=... -P run.cmake

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
    endif()
endfunction()

file(GLOB INPUTS ${EXAMPLES}/*)
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})

# What the program writes, with and without "-1".
file(MAKE_DIRECTORY ${WORK_DIR}/expected)
foreach(input IN LISTS INPUTS)
    get_filename_component(name ${input} NAME)
    file(COPY ${input} DESTINATION ${WORK_DIR}/expected)
    file(COPY ${input} DESTINATION ${WORK_DIR}/expected/promoted)
    run(${prefix}/bin/seqconv ${WORK_DIR}/expected/${name})
    run(${prefix}/bin/seqconv -1 ${WORK_DIR}/expected/promoted/${name})
endforeach()

set(ways find_package)
if(WITH_PKG_CONFIG)
    list(APPEND ways pkg-config)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
endif()
foreach(way IN LISTS ways)
    set(build ${WORK_DIR}/build-${way})
    run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${build} -G ${GENERATOR}
        -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
        -DCMAKE_PREFIX_PATH=${prefix} -DSEQCONV_WITH=${way})
    run(${CMAKE_COMMAND} --build ${build} --config ${CONFIG})
    foreach(program convert_cpp convert_c)
        file(GLOB executable ${build}/${program} ${build}/${program}.exe ${build}/${CONFIG}/${program}.exe)
        foreach(input IN LISTS INPUTS)
            get_filename_component(name ${input} NAME)
            foreach(option "" "-1")
                set(expected ${WORK_DIR}/expected/${name}.mid)
                if(option STREQUAL "-1")
                    set(expected ${WORK_DIR}/expected/promoted/${name}.mid)
                endif()
                set(output ${build}/${program}${option}-${name}.mid)
                run(${executable} ${option} ${input} ${output})
                run(${CMAKE_COMMAND} -E compare_files ${expected} ${output})
            endforeach()
        endforeach()
    endforeach()
    message(STATUS "${way}: the C++ and the C program write what seqconv writes")
endforeach()
