# Installs the build tree into a fresh prefix, then builds and runs the consumer
# program against it twice: through the CMake package and through pkg-config.
# Also runs the installed vorl-plan, checks that the package, the pkg-config file
# and `vorl-plan --version` give one version, that the user documentation is in
# share/doc/vorl_exchange with every page the manual page names, and that a
# shared library exports only the library's own names. A C11 program checks the C interface, and with
# PYTHON the installed Python package is imported from the prefix and plans.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCONFIG=... -DCXX=...
#         -DGENERATOR=... -DVERSION=... -DSHARED=... [-DNM=...] [-DPYTHON=...]
#         [-DPYTHON_DIR=...] [-DCXX_FLAGS=...] [-DLINKER_FLAGS=...] -P install_and_build.cmake
foreach(variable BUILD_DIR SOURCE_DIR WORK_DIR CXX GENERATOR VERSION SHARED)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(expected_rows
  "41800003 40a0008e 78000001 43a00000 00000000 00000000 00000000 00000000 00000000 \n00000001 41800003 641c0000 64000640 61a00000 40a00005 43a00000 00000000 00000000 \n")

# Every step runs without LD_LIBRARY_PATH: what is installed must find its own libraries.
function(run_step what)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
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

set(consumer_configure ${CMAKE_COMMAND} -S ${SOURCE_DIR} -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=${CONFIG}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_C_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")

# A 0.x package refuses a consumer that asks for 1.0, with CMake's own message.
execute_process(COMMAND ${consumer_configure} -B ${WORK_DIR}/build-1.0 -DWANTED_VERSION=1.0
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(status EQUAL 0 OR NOT err MATCHES "compatible with requested version \"1.0\"")
  message(FATAL_ERROR "find_package(vorl_exchange 1.0) was not refused as incompatible (${status}):\n${err}")
endif()

# Through the CMake package, asking for this major.minor.
string(REGEX MATCH "^[0-9]+\\.[0-9]+" wanted_version "${VERSION}")
run_step("configure the consumer" ${consumer_configure} -B ${WORK_DIR}/build -DWANTED_VERSION=${wanted_version})
run_step("build the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run the consumer" ${WORK_DIR}/build/consumer)
if(NOT step_output STREQUAL expected_rows)
  message(FATAL_ERROR "the consumer printed\n${step_output}\ninstead of\n${expected_rows}")
endif()
run_step("run the C consumer" ${WORK_DIR}/build/c_consumer)
if(NOT step_output STREQUAL expected_rows)
  message(FATAL_ERROR "the C consumer printed\n${step_output}\ninstead of\n${expected_rows}")
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
  run_step("pkg-config version" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
    ${PKG_CONFIG} --modversion vorl_exchange)
  string(STRIP "${step_output}" pc_version)
  if(NOT pc_version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config gives version ${pc_version}, the project ${VERSION}")
  endif()
  # pkg-config gives no run path; the program finds a shared library through
  # the one README.md names, pkg-config's libdir.
  run_step("pkg-config libdir" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
    ${PKG_CONFIG} --variable=libdir vorl_exchange)
  string(STRIP "${step_output}" pc_libdir)
  run_step("compile with pkg-config flags"
    ${CXX} -std=c++23 ${extra_flags} ${SOURCE_DIR}/main.cpp ${pc_flags} -Wl,-rpath,${pc_libdir}
    -o ${WORK_DIR}/consumer-pc)
  run_step("run the pkg-config consumer" ${WORK_DIR}/consumer-pc)
  if(NOT step_output STREQUAL expected_rows)
    message(FATAL_ERROR "the pkg-config consumer printed\n${step_output}")
  endif()
  # A C program built by the C compiler with pkg-config's flags alone: against
  # a static library, `--static` adds the C++ runtime it needs.
  set(static_flag)
  if(NOT SHARED)
    set(static_flag --static)
  endif()
  run_step("pkg-config for a C program" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
    ${PKG_CONFIG} --cflags --libs ${static_flag} vorl_exchange)
  string(STRIP "${step_output}" pc_c_flags)
  separate_arguments(pc_c_flags UNIX_COMMAND "${pc_c_flags}")
  find_program(C_COMPILER NAMES cc gcc REQUIRED)
  run_step("compile C with pkg-config flags"
    ${C_COMPILER} -std=c11 ${extra_flags} ${SOURCE_DIR}/main.c ${pc_c_flags} -Wl,-rpath,${pc_libdir}
    -o ${WORK_DIR}/c-consumer-pc)
  run_step("run the pkg-config C consumer" ${WORK_DIR}/c-consumer-pc)
  if(NOT step_output STREQUAL expected_rows)
    message(FATAL_ERROR "the pkg-config C consumer printed\n${step_output}")
  endif()
endif()

# The installed tool runs from its new home and names the package's version.
if(NOT EXISTS ${prefix}/bin/vorl-plan)
  message(FATAL_ERROR "vorl-plan was not installed to ${prefix}/bin")
endif()
# With the schemas of the JSON it reads and writes.
file(GLOB installed_schemas ${prefix}/share/vorl_exchange/schemas/*.schema.json)
list(LENGTH installed_schemas schema_count)
if(NOT schema_count EQUAL 7)
  message(FATAL_ERROR "expected 7 JSON schemas in ${prefix}/share/vorl_exchange/schemas, found: ${installed_schemas}")
endif()
# With the user documentation, and every page the manual page's SEE ALSO names
# under the prefix is there.
set(doc_dir ${prefix}/share/doc/vorl_exchange)
foreach(page concepts.md cli.md c.md python.md building.md CHANGELOG.md LICENSE)
  if(NOT EXISTS ${doc_dir}/${page})
    message(FATAL_ERROR "the user documentation ${page} was not installed to ${doc_dir}")
  endif()
endforeach()
# Every relative link of an installed page leads to an installed file (the
# schemas only when vorl-plan, which installs them, is built).
file(GLOB installed_pages ${doc_dir}/*.md)
foreach(page IN LISTS installed_pages)
  file(READ ${page} page_text)
  # A square bracket in a list element would upset CMake's lists: "](" becomes a marker first.
  string(REPLACE "](" " link-to(" page_text "${page_text}")
  string(REGEX MATCHALL " link-to\\([^):#]+[)#]" links "${page_text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^ link-to\\(([^):#]+)[)#]$" "\\1" target "${link}")
    if(target MATCHES "schema\\.json$" AND NOT installed_schemas)
      continue()
    endif()
    get_filename_component(resolved ${doc_dir}/${target} ABSOLUTE)
    if(NOT EXISTS ${resolved})
      message(FATAL_ERROR "${page} links to ${target}, which is not installed (${resolved})")
    endif()
  endforeach()
endforeach()
file(GLOB installed_manual ${prefix}/share/man/man1/vorl-plan.1)
if(installed_manual)
  file(READ ${installed_manual} manual_text)
  string(REGEX MATCHALL "share/doc/vorl_exchange/[A-Za-z0-9_.-]+" named_pages "${manual_text}")
  list(REMOVE_DUPLICATES named_pages)
  if(NOT named_pages)
    message(FATAL_ERROR "the installed manual page names no page of share/doc/vorl_exchange in its SEE ALSO")
  endif()
  foreach(named IN LISTS named_pages)
    if(NOT EXISTS ${prefix}/${named})
      message(FATAL_ERROR "the manual page names ${named}, which is not installed under ${prefix}")
    endif()
  endforeach()
endif()
run_step("run the installed vorl-plan" ${prefix}/bin/vorl-plan check p2p 0 2 1)
run_step("ask the installed vorl-plan its version" ${prefix}/bin/vorl-plan --version)
file(GLOB package_version_file ${prefix}/*/cmake/vorl_exchange/vorl_exchange-config-version.cmake
                               ${prefix}/*/*/cmake/vorl_exchange/vorl_exchange-config-version.cmake)
include(${package_version_file})
if(NOT PACKAGE_VERSION STREQUAL VERSION OR NOT step_output STREQUAL "vorl-plan ${VERSION}\n")
  message(FATAL_ERROR "versions differ: project ${VERSION}, package ${PACKAGE_VERSION}, vorl-plan says ${step_output}")
endif()

# A shared library exports the library's names and nothing else (no std::
# instantiations, no internal helpers).
if(SHARED)
  file(GLOB shared_library ${prefix}/*/libvorl_exchange.so ${prefix}/*/*/libvorl_exchange.so)
  run_step("list the exported symbols" ${NM} -DC --defined-only ${shared_library})
  string(REPLACE "\n" ";" symbols "${step_output}")
  set(foreign)
  foreach(symbol IN LISTS symbols)
    if(NOT symbol MATCHES "^[0-9a-f]+ [A-Za-z] (vx_[a-z_]+$|((typeinfo|typeinfo name|vtable) for )?vorl_exchange::)")
      list(APPEND foreign "${symbol}")
    endif()
  endforeach()
  if(foreign OR NOT symbols MATCHES "vorl_exchange::version\\(\\)" OR NOT symbols MATCHES " T vx_multicast(;|$)")
    list(JOIN foreign "\n" foreign)
    message(FATAL_ERROR "the shared library exports names beyond its own API:\n${foreign}")
  endif()
endif()

# The Python package, imported from the prefix alone, loads the library it was
# installed beside and plans.
if(PYTHON)
  run_step("import the installed Python package"
    ${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_DIR} PYTHONDONTWRITEBYTECODE=1
    ${PYTHON} -c "import vorl_exchange as v\nplan = v.Topology.tarn().point_to_point(0, 2, 1)\nprint(v.__version__, v.__file__, plan.sender[1])")
  if(NOT step_output STREQUAL "${VERSION} ${prefix}/${PYTHON_DIR}/vorl_exchange/__init__.py 1084227726\n")
    message(FATAL_ERROR "the installed Python package printed\n${step_output}")
  endif()
endif()
