# Compiles a file that includes every public header in C++17 mode and expects
# exactly one error: the #error line that says what the library needs, not
# pages of errors from the headers' C++23 code.
#   cmake -DCXX=... -DINCLUDE_DIRS="a;b" -DWORK_DIR=... -P language_guard.cmake
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/includes_everything.cpp "#include <vorl_exchange/vorl_exchange.hpp>\n")
set(include_flags)
foreach(directory IN LISTS INCLUDE_DIRS)
  list(APPEND include_flags -I${directory})
endforeach()
execute_process(
  COMMAND ${CXX} -std=c++17 ${include_flags} -fsyntax-only ${WORK_DIR}/includes_everything.cpp
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCHALL "error:" errors "${err}")
list(LENGTH errors error_count)
if(status EQUAL 0 OR NOT error_count EQUAL 1 OR NOT err MATCHES "vorl_exchange needs C\\+\\+23 with std::expected")
  message(FATAL_ERROR "expected one #error naming C++23, got ${error_count} errors:\n${err}")
endif()
