#!/usr/bin/env bash
# Installs what is missing, builds validate_gpu and runs it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${TRELLIKEN_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target validate_gpu
exec "$BUILD/src/validate_gpu"
