# The packages beyond the standard library that the optional parts need, looked
# up once for the whole tree. A missing one stops the configure step with one
# line naming the Debian package that provides it; with
# VORL_EXCHANGE_OPTIONAL_PARTS the part that needs it is left out instead.

# vorl_exchange_require(<part option> <Debian package> <find_package arguments>...)
macro(vorl_exchange_require part debian_package package)
  if(${part})
    find_package(${package} ${ARGN} QUIET)
    if(NOT ${package}_FOUND)
      if(VORL_EXCHANGE_OPTIONAL_PARTS)
        message(WARNING " vorl_exchange: ${package} not found (Debian package ${debian_package}); ${part} turned off")
        set(${part} OFF)
      else()
        # The leading space keeps CMake from wrapping the line.
        message(FATAL_ERROR " vorl_exchange: ${package} not found; install the Debian package ${debian_package} (or turn ${part} off)")
      endif()
    endif()
  endif()
endmacro()

# vorl_exchange_require_part(<part option> <needed part option>)
macro(vorl_exchange_require_part part needed)
  if(${part} AND NOT ${needed})
    if(VORL_EXCHANGE_OPTIONAL_PARTS)
      message(WARNING " vorl_exchange: ${part} needs ${needed}, which is off; ${part} turned off")
      set(${part} OFF)
    else()
      message(FATAL_ERROR " vorl_exchange: ${part} needs ${needed}=ON")
    endif()
  endif()
endmacro()

vorl_exchange_require(VORL_EXCHANGE_BUILD_TOOLS nlohmann-json3-dev nlohmann_json 3)
vorl_exchange_require(VORL_EXCHANGE_BUILD_TOOLS libcli11-dev CLI11 2 CONFIG)

vorl_exchange_require_part(VORL_EXCHANGE_BUILD_TESTS VORL_EXCHANGE_BUILD_TOOLS)
vorl_exchange_require_part(VORL_EXCHANGE_BUILD_TESTS VORL_EXCHANGE_BUILD_EXAMPLES)
vorl_exchange_require(VORL_EXCHANGE_BUILD_TESTS libgtest-dev GTest)
vorl_exchange_require(VORL_EXCHANGE_BUILD_TESTS nlohmann-json3-dev nlohmann_json 3)
vorl_exchange_require(VORL_EXCHANGE_BUILD_TESTS libc6-dev Threads)

vorl_exchange_require_part(VORL_EXCHANGE_BUILD_BENCH VORL_EXCHANGE_BUILD_EXAMPLES)
vorl_exchange_require(VORL_EXCHANGE_BUILD_BENCH libbenchmark-dev benchmark)
# The batch reader's benchmark measures it against simdjson's on-demand parser.
vorl_exchange_require(VORL_EXCHANGE_BUILD_BENCH libsimdjson-dev simdjson CONFIG)
