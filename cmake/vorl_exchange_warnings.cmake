# The one warning set of the project, for the library and for everything built
# around it (tools, examples, tests, benchmarks). It is strict because compiler
# engineers embed the library in their own builds, and the code that exercises
# it is held to the same standard.

# GCC 12's optimiser reports impossible overlaps inside std::string concatenation
# (-Wrestrict, a known false positive of that release); it says nothing about our code.
add_library(vorl_exchange_warnings INTERFACE)
target_compile_options(vorl_exchange_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>
  $<$<BOOL:${VORL_EXCHANGE_WERROR}>:-Werror>)
