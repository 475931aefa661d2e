# Whole-process figures of the driver, printed by the run_benchmarks target:
# its wall time (hyperfine, median of 10 runs after 3 warm-up runs) and its
# instruction count under callgrind, which no other load on the machine moves;
# then its wall time over that of its floor, digest_floor, which hashes a
# stream of the same length and write sizes and plans nothing: medians of runs
# taken in alternation (alternating_runs), and hyperfine's medians.
#   cmake -DSABLEMARK=<driver> -DFLOOR=<digest_floor> -DALTERNATE=<alternating_runs> -DOUT_DIR=<directory>
#         -P sablemark_figures.cmake
find_program(HYPERFINE hyperfine)
find_program(VALGRIND valgrind)

# Seconds as hyperfine prints them, in whole microseconds.
function(seconds_to_microseconds seconds out)
  string(REGEX MATCH "^([0-9]+)\\.?([0-9]*)" _ "${seconds}")
  string(SUBSTRING "${CMAKE_MATCH_2}000000" 0 6 micro)
  math(EXPR total "${CMAKE_MATCH_1} * 1000000 + ${micro}")
  set(${out} ${total} PARENT_SCOPE)
endfunction()

if(ALTERNATE)
  execute_process(COMMAND ${ALTERNATE} 200 ${SABLEMARK} ${FLOOR} OUTPUT_VARIABLE alternated
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  message("sablemark (A) / digest_floor (B) wall time, ${alternated}")
endif()

if(HYPERFINE)
  set(json ${OUT_DIR}/sablemark-hyperfine.json)
  execute_process(COMMAND ${HYPERFINE} --shell=none --warmup 3 --runs 10 --export-json ${json} ${SABLEMARK}
                  COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${json} results)
  string(JSON median GET "${results}" results 0 median)
  # Seconds as printed by hyperfine, to tenths of a millisecond in integers.
  string(REGEX MATCH "^([0-9]+)\\.?([0-9]*)" _ "${median}")
  string(SUBSTRING "${CMAKE_MATCH_2}0000" 0 4 tenths_of_ms)
  math(EXPR tenths_of_ms "${CMAKE_MATCH_1} * 10000 + ${tenths_of_ms}")
  math(EXPR whole_ms "${tenths_of_ms} / 10")
  math(EXPR tenth "${tenths_of_ms} % 10")
  message("sablemark wall time, median of 10 runs: ${whole_ms}.${tenth} ms")

  # Both programs in one hyperfine run, so that they see the same machine.
  set(json ${OUT_DIR}/sablemark-over-floor.json)
  execute_process(COMMAND ${HYPERFINE} --shell=none --warmup 3 --runs 30 --export-json ${json} ${SABLEMARK} ${FLOOR}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${json} results)
  string(JSON run_median GET "${results}" results 0 median)
  string(JSON floor_median GET "${results}" results 1 median)
  seconds_to_microseconds("${run_median}" run_us)
  seconds_to_microseconds("${floor_median}" floor_us)
  math(EXPR hundredths "${run_us} * 100 / ${floor_us}")
  math(EXPR whole "${hundredths} / 100")
  math(EXPR fraction "${hundredths} % 100")
  if(fraction LESS 10)
    set(fraction "0${fraction}")
  endif()
  message("sablemark / digest_floor wall time, hyperfine medians of 30 runs: ${run_us} us / ${floor_us} us = ${whole}.${fraction}")
else()
  message("hyperfine not found: no wall time")
endif()

if(VALGRIND)
  execute_process(COMMAND ${VALGRIND} --tool=callgrind --callgrind-out-file=${OUT_DIR}/sablemark.callgrind ${SABLEMARK}
                  OUTPUT_QUIET ERROR_VARIABLE log COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "Collected : ([0-9]+)" collected "${log}")
  message("sablemark instructions (callgrind): ${CMAKE_MATCH_1}")
else()
  message("valgrind not found: no instruction count")
endif()
