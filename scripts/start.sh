#!/usr/bin/env bash
# Installs what is missing, builds the instrument (Release) and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/installer-paquets.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" --target tamburella
exec "$top/build/tamburella" "$@"
