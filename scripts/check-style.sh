#!/usr/bin/env bash
# The style checks CI runs, one at a time or both:
#   scripts/check-style.sh format          clang-format-19 over every C and C++ file
#   scripts/check-style.sh tidy BUILD_DIR  clang-tidy-19 over src/, include/ and tools/
#                                          with BUILD_DIR/compile_commands.json
#   scripts/check-style.sh all BUILD_DIR   both
# Exit status 0 when clean, 1 on any difference or finding, 2 on bad arguments.
# JOBS (default: the number of processors) sets clang-tidy's parallel runs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

usage() {
  echo "usage: scripts/check-style.sh {format | tidy BUILD_DIR | all BUILD_DIR}" >&2
  exit 2
}

check_format() {
  echo "=== clang-format-19"
  if ! git ls-files -z -- '*.cpp' '*.hpp' '*.h' '*.c' | xargs -0 clang-format-19 --dry-run -Werror; then
    echo "check-style: files differ from .clang-format; clang-format-19 -i FILE... rewrites them" >&2
    exit 1
  fi
}

check_tidy() {
  local build_dir=$1
  if [[ ! -f ${build_dir}/compile_commands.json ]]; then
    echo "check-style: ${build_dir}/compile_commands.json is missing; configure that build first" >&2
    exit 2
  fi
  echo "=== clang-tidy-19"
  # Every translation unit of the library and the tool; the headers of
  # include/ come in through them (HeaderFilterRegex in .clang-tidy).
  mapfile -t sources < <(git ls-files -- 'src/*.cpp' 'tools/*.cpp')
  # The build's flags are GCC's: Clang is told to pass over the ones it lacks.
  if ! run-clang-tidy-19 -quiet -p "${build_dir}" -j "${JOBS:-$(nproc)}" \
    -clang-tidy-binary "$(command -v clang-tidy-19)" \
    -extra-arg=-Wno-unknown-warning-option "${sources[@]/#/$PWD/}"; then
    echo "check-style: clang-tidy found the problems above" >&2
    exit 1
  fi
}

case "${1:-}" in
  format) check_format ;;
  tidy) [[ $# == 2 ]] || usage; check_tidy "$2" ;;
  all) [[ $# == 2 ]] || usage; check_format; check_tidy "$2" ;;
  *) usage ;;
esac
