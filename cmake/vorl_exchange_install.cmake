# Install rules: the public headers (written and generated), the library, the
# vorl-plan tool when it is built, a CMake package (find_package(vorl_exchange
# CONFIG) giving vorl_exchange::vorl_exchange), a pkg-config file and the user
# documentation.
include(CMakePackageConfigHelpers)

set(VORL_EXCHANGE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorl_exchange)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vorl_exchange ${PROJECT_BINARY_DIR}/include/vorl_exchange
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.hpp" PATTERN "*.h")

# The include directory comes from the target's INSTALL_INTERFACE alone.
install(TARGETS vorl_exchange
  EXPORT vorl_exchange_targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET vorl-plan)
  # Finds a shared vorl_exchange beside itself in the install tree, wherever
  # the tree is moved, without LD_LIBRARY_PATH.
  file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(vorl-plan PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  install(TARGETS vorl-plan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The JSON schemas of the documents vorl-plan reads and writes.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/schemas/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vorl_exchange/schemas
    FILES_MATCHING PATTERN "*.schema.json")
  if(VORL_PLAN_MANUAL)
    install(FILES ${VORL_PLAN_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()

# The user documentation, the pages of docs/, in share/doc/vorl_exchange: the
# manual page's SEE ALSO names them there. The API reference's main page is
# doxygen's, not a user page. The pages link to each other, and out of docs/ to
# ../CHANGELOG.md and ../schemas/: installed, the changelog (and the licence) go
# beside the pages and the links to the schemas lead to where they are
# installed, so each installed page is a copy with those links rewritten.
file(RELATIVE_PATH doc_to_schemas ${CMAKE_INSTALL_FULL_DOCDIR}
  ${CMAKE_INSTALL_FULL_DATADIR}/vorl_exchange/schemas)
file(GLOB user_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
set(installed_pages_dir ${PROJECT_BINARY_DIR}/installed-docs)
file(REMOVE_RECURSE ${installed_pages_dir})
foreach(page IN LISTS user_pages)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  file(READ ${page} page_text)
  string(REPLACE "](../schemas/" "](${doc_to_schemas}/" page_text "${page_text}")
  string(REPLACE "](../CHANGELOG.md" "](CHANGELOG.md" page_text "${page_text}")
  get_filename_component(page_name ${page} NAME)
  file(WRITE ${installed_pages_dir}/${page_name} "${page_text}")
endforeach()
install(DIRECTORY ${installed_pages_dir}/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT vorl_exchange_targets
  NAMESPACE vorl_exchange::
  FILE vorl_exchange-targets.cmake
  DESTINATION ${VORL_EXCHANGE_PACKAGE_DIR})

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/vorl_exchange-config.cmake.in
  ${PROJECT_BINARY_DIR}/vorl_exchange-config.cmake
  INSTALL_DESTINATION ${VORL_EXCHANGE_PACKAGE_DIR})
# While the major version is 0 a minor release may change the API and the ABI,
# so only the same major.minor is compatible (and find_package(vorl_exchange 1.0)
# refuses a 0.x install).
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/vorl_exchange-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/vorl_exchange-config.cmake
  ${PROJECT_BINARY_DIR}/vorl_exchange-config-version.cmake
  DESTINATION ${VORL_EXCHANGE_PACKAGE_DIR})

# The pkg-config file finds its prefix relative to itself, so that an install
# tree moved elsewhere (or installed with --prefix) still describes itself.
file(RELATIVE_PATH VORL_EXCHANGE_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VORL_EXCHANGE_PC_TO_PREFIX "${VORL_EXCHANGE_PC_TO_PREFIX}")
# A static library leaves the C++ runtime to the program's link, so a C
# program's `cc ... $(pkg-config --libs --static vorl_exchange)` must name it;
# a shared library links it itself.
if(BUILD_SHARED_LIBS)
  set(VORL_EXCHANGE_PC_DEFINES "")
  set(VORL_EXCHANGE_PC_LIBS_PRIVATE "")
else()
  set(VORL_EXCHANGE_PC_DEFINES " -DVORL_EXCHANGE_STATIC_DEFINE")
  set(VORL_EXCHANGE_PC_LIBS_PRIVATE "Libs.private: -lstdc++ -lm")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vorl_exchange.pc.in ${PROJECT_BINARY_DIR}/vorl_exchange.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vorl_exchange.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
