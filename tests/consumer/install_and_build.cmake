# Installs the build tree into a fresh prefix, then builds and runs the consumer
# program against it twice: through the CMake package and through pkg-config.
# Also runs the installed vorl-plan.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCONFIG=... -DCXX=...
#         -DGENERATOR=... [-DCXX_FLAGS=...] [-DLINKER_FLAGS=...] -P install_and_build.cmake
foreach(variable BUILD_DIR SOURCE_DIR WORK_DIR CXX GENERATOR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(expected_rows
  "41800003 40a0008e 78000001 43a00000 00000000 00000000 00000000 00000000 00000000 \n00000001 41800003 641c0000 64000640 61a00000 40a00005 43a00000 00000000 00000000 \n")

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(config_argument)
if(CONFIG)
  set(config_argument --config ${CONFIG})
endif()
run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_argument})

# Through the CMake package.
run_step("configure the consumer"
  ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=${CONFIG}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run_step("build the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run the consumer" ${WORK_DIR}/build/consumer)
if(NOT step_output STREQUAL expected_rows)
  message(FATAL_ERROR "the consumer printed\n${step_output}\ninstead of\n${expected_rows}")
endif()

# Through pkg-config.
find_program(PKG_CONFIG NAMES pkgconf pkg-config)
if(PKG_CONFIG)
  file(GLOB pc_file ${prefix}/*/pkgconfig/vorl_exchange.pc ${prefix}/*/*/pkgconfig/vorl_exchange.pc)
  if(NOT pc_file)
    message(FATAL_ERROR "no vorl_exchange.pc under ${prefix}")
  endif()
  get_filename_component(pc_dir ${pc_file} DIRECTORY)
  run_step("pkg-config" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
    ${PKG_CONFIG} --cflags --libs vorl_exchange)
  string(STRIP "${step_output}" pc_flags)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra_flags UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
  run_step("compile with pkg-config flags"
    ${CXX} -std=c++23 ${extra_flags} ${SOURCE_DIR}/main.cpp ${pc_flags} -o ${WORK_DIR}/consumer-pc)
  run_step("run the pkg-config consumer" ${WORK_DIR}/consumer-pc)
  if(NOT step_output STREQUAL expected_rows)
    message(FATAL_ERROR "the pkg-config consumer printed\n${step_output}")
  endif()
endif()

# The installed tool runs from its new home.
if(EXISTS ${prefix}/bin/vorl-plan)
  run_step("run the installed vorl-plan" ${prefix}/bin/vorl-plan check p2p 0 2 1)
else()
  message(FATAL_ERROR "vorl-plan was not installed to ${prefix}/bin")
endif()
