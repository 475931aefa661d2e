#!/usr/bin/env bash
# Installs, on Debian 12, whatever the build and the tests need that the machine
# lacks: the compiler, CMake, Ninja, pkg-config, Python with pytest, Hypothesis and NumPy,
# venv, setuptools and wheel (for `pip install .`), and the packages of the
# tests, tools and benchmarks, and pandoc for vorl-plan's manual page. Further Debian packages may be named as arguments (CI
# adds clang-19). Needs root or sudo only when something is missing.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(g++ cmake ninja-build pkgconf libgtest-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
  libsimdjson-dev python3 python3-pytest python3-hypothesis python3-jsonschema python3-numpy python3-venv python3-setuptools
  python3-wheel pandoc "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
as_root=()
if ((EUID != 0)); then
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
