# The warning sets, defined once. The library and everything that ships is held
# to the strict set, because compiler engineers embed the library in their own
# builds; test code, whose assertion macros trip the conversion warnings by
# design, is held to the test set.

# GCC 12's optimiser reports impossible overlaps inside std::string concatenation
# (-Wrestrict, a known false positive of that release); it says nothing about our code.
set(vorl_exchange_gcc12_false_positives
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
set(vorl_exchange_fatal_warnings $<$<BOOL:${VORL_EXCHANGE_WERROR}>:-Werror>)

add_library(vorl_exchange_warnings INTERFACE)
target_compile_options(vorl_exchange_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  ${vorl_exchange_gcc12_false_positives} ${vorl_exchange_fatal_warnings})

add_library(vorl_exchange_test_warnings INTERFACE)
target_compile_options(vorl_exchange_test_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough
  ${vorl_exchange_gcc12_false_positives} ${vorl_exchange_fatal_warnings})
