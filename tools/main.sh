#!/usr/bin/env bash
# The main job. The export window is still to be built, so for now this
# builds everything (Release, in build/), creates the sample Company table
# at the export's default location and shows its structure and first
# records. Running it again rebuilds the sample from the same seed.
# Usage: tools/main.sh [records]   (DAC_BUILD_DIR overrides the build folder)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${DAC_BUILD_DIR:-$root/build}"
records="${1:-500}"

"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"

drmcli="$build/tools/drmcli"
if [ ! -x "$drmcli" ]; then
  echo "main.sh: $drmcli was not built (it needs the engine library)" >&2
  exit 1
fi

# The location the export opens by default; the engine maps drive S: to a
# folder of its own (see docs/ENGINE.md).
location='S:\ORVANE\DATA\SQLTABLE'

echo
"$drmcli" sample company --location "$location" --records "$records" --seed 1
echo
"$drmcli" describe "$location" Company
echo
echo "First records in the order of index_1 (agency, number):"
"$drmcli" dump "$location" Company --index index_1 --limit 10
echo
echo "The export window (\"Generate Quillbox Master Company List\") is not built yet;"
echo "it comes in a later step and will read this Company table. Until then this"
echo "command prepares and shows the sample data it will export."
