#!/bin/sh
# Fails when a file of the portable layers (lib/, engine/) includes <windows.h>.
root="$1"
found=$(grep -lE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]windows\.h[>"]' \
  "$root"/lib/*.h "$root"/lib/*.cpp "$root"/engine/*.h "$root"/engine/*.cpp 2>/dev/null)
if [ -n "$found" ]; then
  echo "these portable files include <windows.h>; put the call behind platform/Platform.h:" >&2
  echo "$found" >&2
  exit 1
fi
