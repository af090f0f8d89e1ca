# Builds and runs a tiny consumer project against depman.
# Run with cmake -P. Inputs (-D...):
#   MODE               package | subdirectory
#   SOURCE_DIR         the consumer project (tests/package or tests/subdir)
#   WORK_DIR           scratch directory for this run (wiped first)
#   DEPMAN_SOURCE_DIR  the depman source tree
#   DEPMAN_BINARY_DIR  the built depman tree to install (package mode only)
#   GENERATOR, CXX_COMPILER, CXX_FLAGS, EXE_LINKER_FLAGS, CONFIG  from the outer build

foreach(var MODE SOURCE_DIR WORK_DIR DEPMAN_SOURCE_DIR GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "consumer.cmake: ${var} is not set")
  endif()
endforeach()

if("${CONFIG}" STREQUAL "")
  set(CONFIG Release)
endif()

function(run_step what)
  message(STATUS "consumer (${MODE}): ${what}")
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "consumer (${MODE}): ${what} failed (${rc})")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(build_dir "${WORK_DIR}/build")

set(configure_args
  -S "${SOURCE_DIR}"
  -B "${build_dir}"
  -G "${GENERATOR}"
  "-DCMAKE_BUILD_TYPE=${CONFIG}"
  "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}"
)

if(MODE STREQUAL "package")
  if(NOT DEFINED DEPMAN_BINARY_DIR OR "${DEPMAN_BINARY_DIR}" STREQUAL "")
    message(FATAL_ERROR "consumer.cmake: DEPMAN_BINARY_DIR is not set")
  endif()
  set(prefix "${WORK_DIR}/prefix")
  run_step("install depman into ${prefix}"
    "${CMAKE_COMMAND}" --install "${DEPMAN_BINARY_DIR}" --prefix "${prefix}" --config "${CONFIG}")
  # Only the installed package may be found: no package registry, no source tree.
  list(APPEND configure_args
    "-DCMAKE_PREFIX_PATH=${prefix}"
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
  )
elseif(MODE STREQUAL "subdirectory")
  list(APPEND configure_args "-DDEPMAN_ROOT=${DEPMAN_SOURCE_DIR}")
else()
  message(FATAL_ERROR "consumer.cmake: unknown MODE '${MODE}'")
endif()

run_step("configure" "${CMAKE_COMMAND}" ${configure_args})
run_step("build" "${CMAKE_COMMAND}" --build "${build_dir}" --config "${CONFIG}" -j 2)

# Single-config generators put the program in the build dir, multi-config ones
# in a per-configuration subdirectory.
set(exe "")
foreach(candidate "${build_dir}/depman_consumer" "${build_dir}/${CONFIG}/depman_consumer"
                  "${build_dir}/depman_consumer.exe" "${build_dir}/${CONFIG}/depman_consumer.exe")
  if(EXISTS "${candidate}")
    set(exe "${candidate}")
    break()
  endif()
endforeach()
if(exe STREQUAL "")
  message(FATAL_ERROR "consumer (${MODE}): depman_consumer was not built")
endif()

run_step("run" "${exe}")
