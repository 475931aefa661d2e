/// @file
/// What every public header starts with: the language the library needs, and
/// the export macro of its shared build.
#pragma once

#if __has_include(<version>)
#include <version>
#endif

// One line instead of pages of errors when the compiler runs in an older mode:
// each public header's body is left out unless this check passes.
#if defined(__cpp_lib_expected) && __cpp_lib_expected >= 202202L
#define VORL_EXCHANGE_LANGUAGE_SUPPORTED 1
#include "vorl_exchange/export.hpp"
#else
#error "vorl_exchange needs C++23 with std::expected: compile with -std=c++23 (GCC 12 or Clang 19 or newer)"
#endif
