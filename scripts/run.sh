#!/usr/bin/env bash
# Builds Tapewren and starts it. Installs the Debian 12 packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tapewren
exec build/program/tapewren "$@"
