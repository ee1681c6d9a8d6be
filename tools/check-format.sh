#!/usr/bin/env bash
# Fails when a C++ file is not formatted with the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
