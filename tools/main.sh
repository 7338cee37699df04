#!/usr/bin/env bash
# The main job: the company-list export. Sets up what is missing, builds
# (Release, in build/), makes the sample Company table at the export's
# default location when there is none, prepares the default output folder,
# then runs the export: the window when a display is available, otherwise
# (or with --headless) the same run without a window. Prints where both
# lists were written and how many lines each has.
# Usage: tools/main.sh [--headless] [records]
#   records: the sample's size when it is made (default 500)
#   DAC_BUILD_DIR overrides the build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${DAC_BUILD_DIR:-$root/build}"
headless=0
records=500
for arg in "$@"; do
  case "$arg" in
    --headless) headless=1 ;;
    *[!0-9]* | '') echo "usage: tools/main.sh [--headless] [records]" >&2; exit 2 ;;
    *) records="$arg" ;;
  esac
done

"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"

drmcli="$build/tools/drmcli"
app="$build/app/quillbox-companies"
for tool in "$drmcli" "$app"; do
  if [ ! -x "$tool" ]; then
    echo "main.sh: $tool was not built" >&2
    exit 1
  fi
done

# The export's defaults. The engine maps drive letters to folders of its own
# and a rooted path without a drive to drive C (see README, "Paths").
location='S:\ORVANE\DATA\SQLTABLE'
output='\orvane\quillbox\companies.csv'

echo
if "$drmcli" describe "$location" Company >/dev/null 2>&1; then
  echo "The sample Company table at $location is there; using it."
else
  "$drmcli" sample company --location "$location" --records "$records" --seed 1
fi

# The output folder the default name list lands in; cmplist.csv goes to the
# current directory, so the export runs from that folder too.
output_file="$("$drmcli" local-path "$output")"
output_dir="$(dirname "$output_file")"
mkdir -p "$output_dir"
cd "$output_dir"

echo
if [ "$headless" = 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "Opening the export window; press Go! to export (it closes when done)."
  set +e
  "$app" --dsn "$location" --output "$output"
  status=$?
  set -e
  if [ "$status" != 0 ]; then exit "$status"; fi
  if [ ! -f "$output_file" ] || [ ! -f "$output_dir/cmplist.csv" ]; then
    echo "The window was closed without an export."
    exit 0
  fi
else
  "$app" --headless --dsn "$location" --output "$output" >/dev/null
fi

echo
echo "Name list:  $output_file ($(wc -l <"$output_file") lines)"
echo "Coded list: $output_dir/cmplist.csv ($(wc -l <"$output_dir/cmplist.csv") lines)"
