#!/usr/bin/env bash
# Runs the real-window tests: installs Xvfb when it is missing (without it they skip), and
# leaves the libraries' process-lifetime allocations (GTK, GLib, fontconfig) out of the leak check.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v Xvfb >/dev/null 2>&1; then
  bash "$here/../../tools/install-deps.sh" xvfb xauth >&2 || echo "Xvfb could not be installed" >&2
fi
export LSAN_OPTIONS="suppressions=$here/gtk_lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec "$@"
