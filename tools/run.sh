#!/usr/bin/env bash
# Installs the dependencies, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target shop shop-create-db
exec ./build/shop
