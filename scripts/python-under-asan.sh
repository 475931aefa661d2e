#!/usr/bin/env bash
# The Python tests against the C interface built with AddressSanitizer and
# UBSan, in an interpreter started with GCC's ASan runtime preloaded (a plain
# python3 cannot load an instrumented library otherwise). Leak detection is
# off: the interpreter itself leaves memory behind at exit.
#   scripts/python-under-asan.sh [BUILD_DIR] [PYTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=$(realpath -m "${1:-build/python-asan}")
shift || true

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "${build_dir}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=OFF \
  -DVORL_EXCHANGE_BUILD_PYTHON=ON -DVORL_EXCHANGE_BUILD_TESTS=OFF -DVORL_EXCHANGE_BUILD_TOOLS=OFF \
  -DVORL_EXCHANGE_BUILD_EXAMPLES=OFF -DVORL_EXCHANGE_BUILD_BENCH=OFF -DVORL_EXCHANGE_INSTALL=OFF \
  "-DCMAKE_CXX_FLAGS=${sanitize}" "-DCMAKE_SHARED_LINKER_FLAGS=${sanitize}" >/dev/null
# Only the library the package loads: a minute or so, not the whole tree.
cmake --build "${build_dir}" --target vorl_exchange_c

runtime=$(g++ -print-file-name=libasan.so)
env LD_PRELOAD="${runtime}" \
  ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:abort_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  PYTHONPATH="${build_dir}/python" PYTHONDONTWRITEBYTECODE=1 VORL_TEST_DATA_DIR="${PWD}/tests/data" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests "$@"
