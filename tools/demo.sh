#!/usr/bin/env bash
# Lays out a run folder (program folder, per-user folders) and runs JORV in it.
# JORV_DEMO_SECONDS (default 8) is how long the unattended headless run lasts.
set -euo pipefail
build=$1
run=$2
rm -rf "$run"
mkdir -p "$run/program/docs" "$run/program/input" "$run/appdata" "$run/localappdata" "$run/runtime"
chmod 700 "$run/runtime"
cp "$build/app/jorv" "$run/program/"

export JORV_APPDATA="$run/appdata"
export JORV_LOCALAPPDATA="$run/localappdata"
export XDG_RUNTIME_DIR="$run/runtime"
export JORV_AUTOCLOSE_SECONDS="${JORV_DEMO_SECONDS:-8}"

echo "Running JORV in $run/program for ${JORV_AUTOCLOSE_SECONDS} s ..."
status=0
(cd "$run/program" && ./jorv) || status=$?
echo "JORV ended with exit code $status"
echo "---- Log.txt"
cat "$run/program/Log.txt"
exit "$status"
