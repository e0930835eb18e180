# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the build tree into a fresh prefix, then configures, builds and runs
# the consumer project against that prefix only.
#
# Expects: BUILD_DIR (the library's build tree), CONFIG, SOURCE_DIR (this
# directory), WORK_DIR (scratch space, emptied first), CXX_COMPILER, QT5_CORE_DIR
# (the Qt the library was built with). A cross build also gives TOOLCHAIN_FILE,
# and EMULATOR to run the consumer.

foreach(variable BUILD_DIR CONFIG SOURCE_DIR WORK_DIR CXX_COMPILER QT5_CORE_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "${variable} is not set")
    endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${what} failed: ${result}")
    endif()
endfunction()

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --config ${CONFIG} --prefix ${prefix})

foreach(header Talveno/Talveno.h Talveno/talveno_export.h Orvanet/GenericValue.h
               Orvanet/orvanet_export.h Quillon/StatisticCalculator.h Quillon/quillon_export.h)
    if(NOT EXISTS ${prefix}/include/${header})
        message(FATAL_ERROR "installed package lacks include/${header}")
    endif()
endforeach()

set(toolchain)
if(TOOLCHAIN_FILE)
    set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
endif()
run_step("configure consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${consumer_build} ${toolchain}
    -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DQt5Core_DIR=${QT5_CORE_DIR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON)
run_step("build consumer" ${CMAKE_COMMAND} --build ${consumer_build} --config ${CONFIG})

find_program(consumer NAMES talveno-consumer talveno-consumer.exe PATHS ${consumer_build} ${consumer_build}/${CONFIG} NO_DEFAULT_PATH)
if(NOT consumer)
    message(FATAL_ERROR "consumer executable not found in ${consumer_build}")
endif()
# Windows looks for the installed DLLs in the working directory too.
execute_process(COMMAND ${EMULATOR} ${consumer} WORKING_DIRECTORY ${prefix}/bin RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "run consumer failed: ${result}")
endif()
