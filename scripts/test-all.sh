#!/usr/bin/env bash
# Builds Trailkeeper with every test layer and runs them all: native unit tests, Win32
# tests and end-to-end tests under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset test
cmake --build --preset test
ctest --preset test
