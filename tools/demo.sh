#!/usr/bin/env bash
# Lays out a run folder and runs JORV in it against the stand-ins: the simulator (in-process,
# from data/sim/scenario.json) and the RealTraffic desktop app replaying
# data/realtraffic/demo_scenario.json over loopback: Zurich's traffic, its landings, taxiing,
# push-backs and take-offs between 45 s and 200 s after the replay starts, which it does when
# JORV first connects, however long JORV took to start; after the scenario's 300 s and a minute's
# pause it plays again with fresh times.
# JORV_DEMO_SECONDS (default 240) is how long the unattended run lasts.
# What the simulator showed is traced into sim-trace.csv and drawn as sim-trace.png in the run
# folder (tools/jorv_trace_picture); its counts close the output, with the touch-downs short of a
# runway and the aircraft removed in the air near the ground.
set -euo pipefail
build=$1
run=$2
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${JORV_DEMO_SECONDS:-240}"

rm -rf "$run"
program="$run/JORV"
mkdir -p "$program/docs" "$program/input" "$run/appdata/JORV" "$run/localappdata" "$run/runtime"
chmod 700 "$run/runtime"
cp "$build/app/jorv" "$program/"
cp "$build"/data/*.enc "$program/input/"
# The demo's airport, Zurich, with the sample stand file as the user's own (no maker's server here).
mkdir -p "$program/airports/my_thirdparty"
cp "$root/data/webserver/MSFS2024/archive/stock/LSZH.xml" "$program/airports/my_thirdparty/LSZH.xml"
echo "JORV fills a running flight simulator with real-world air traffic." > "$program/docs/README.txt"

# A Steam-style MSFS 2024 installation for the package folders, its Community folder filled with
# AI livery packages for the livery scan (tools/livery_tree.h) and the user's don't-use title.
mkdir -p "$run/appdata/Microsoft Flight Simulator 2024/Packages/Official2024"
"$build/tools/jorv_livery_tree" "$run/appdata/Microsoft Flight Simulator 2024/Packages/Community" \
  "$run/livery-scan-expected" "$root/data"
cp -r "$run/livery-scan-expected/my_regcodes" "$program/input/"
# One add-on airport for the airport scan (tools/scenery_tree.h): LFSB, whose facility data the
# stand-in simulator has, gets a generated stand file in airports/my_thirdparty and goes into tblo.zip.
packages="$run/appdata/Microsoft Flight Simulator 2024/Packages"
mkdir -p "$packages/StreamedPackages" "$packages/Community2024"
"$build/tools/jorv_scenery_tree" --package "$packages/Community" LFSB
# RT App mode: the desktop app stand-in connects to the program's port.
cat > "$run/appdata/JORV/parameters.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<root>
  <parameters>
    <parameter name="RT_CHOISE" value="RT App" />
  </parameters>
</root>
XML

export JORV_APPDATA="$run/appdata"
export JORV_LOCALAPPDATA="$run/localappdata"
export XDG_RUNTIME_DIR="$run/runtime"
# The user waits on the ground south-east of the runways and their approaches, facing away from
# them: traffic passing a user aircraft within the conflict distance, or lining up straight ahead of
# its nose, is taken out of the simulator, as in a real session.
sed -e 's/"latitude": 47.450604,/"latitude": 47.4420,/' -e 's/"longitude": 8.561746,/"longitude": 8.5880,/' \
  -e 's/"headingDegrees": 280,/"headingDegrees": 100,/' \
  "$root/data/sim/scenario.json" > "$run/sim-scenario.json"
# Its runways, stands and ground come from the facility fixtures beside the scenario file.
ln -s "$root/data/sim/facilities" "$run/facilities"
export JORV_SIM_SCENARIO="$run/sim-scenario.json"
export JORV_AUTOCLOSE_SECONDS="$seconds"
export JORV_SIM_TRACE="$run/sim-trace.csv"
export JORV_SCREENSHOT="$run/window.png"

# The real window on a display of its own when Xvfb is there (installed when missing, if it can
# be); the headless window otherwise. Either way its picture is saved as the run closes it.
if [ -z "${DISPLAY:-}" ] && ! command -v Xvfb >/dev/null 2>&1; then
  bash "$root/tools/install-deps.sh" xvfb xauth >/dev/null 2>&1 || echo "Xvfb could not be installed: headless window"
fi
xvfb=""
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
  # Xvfb picks a free display number itself and writes it to fd 9.
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9> "$run/xvfb.display" 2> "$run/xvfb.log" &
  xvfb=$!
  for _ in $(seq 50); do [ -s "$run/xvfb.display" ] && break; sleep 0.1; done
  if [ -s "$run/xvfb.display" ]; then export DISPLAY=":$(head -1 "$run/xvfb.display")"; fi
fi

# JORV binds the feed's UDP ports 49004 and 49005 and restarts itself when another program holds
# them: wait a while for them to be free.
portsBusy() { command -v ss >/dev/null 2>&1 && [ -n "$(ss -Hlun '( sport = :49004 or sport = :49005 )' 2>/dev/null)" ]; }
for _ in $(seq 120); do portsBusy || break; sleep 1; done
portsBusy && echo "UDP port 49004 or 49005 is still taken by another program: JORV will restart until it is free"

"$build/standin/realtraffic/jorv_rtapp_standin" --scenario "$root/data/realtraffic/demo_scenario.json" \
  --start-on-connection --loop --layout mixed --record "$run/rtapp-requests.txt" > "$run/rtapp-standin.log" 2>&1 &
standin=$!
sleep 0.5
if ! kill -0 $standin 2>/dev/null; then
  echo "the RealTraffic app stand-in did not start:"; cat "$run/rtapp-standin.log"; exit 1
fi
trap 'kill $standin 2>/dev/null || true; [ -z "$xvfb" ] || kill $xvfb 2>/dev/null || true' EXIT

echo "Running JORV in $program for $seconds s against the stand-ins ..."
status=0
(cd "$program" && ./jorv) || status=$?
kill -INT $standin 2>/dev/null || true
wait $standin 2>/dev/null || true
echo "JORV ended with exit code $status"
echo "---- Log.txt"
cat "$program/Log.txt"
if [ -f "$run/rtapp-requests.txt" ]; then
  # The user position and simulator time repeat every few seconds: their first lines and a count.
  echo "---- requests the RealTraffic app stand-in received ($(wc -l < "$run/rtapp-requests.txt") in all, in $run/rtapp-requests.txt)"
  awk '!seen[substr($0, 1, 6)]++' "$run/rtapp-requests.txt"
fi
echo "---- what the stand-in simulator showed"
trace="$run/sim-trace.csv"
if [ ! -f "$trace" ] && [ -f "$trace.part" ]; then
  echo "(the trace was not closed; drawing what was written)"
  trace="$trace.part"
fi
seen=""
if [ -f "$trace" ]; then
  # Its counts first: the trace line, then what happened at the airport from the simulator's side.
  seen=$("$build/tools/jorv_trace_picture" "$trace" "$root/data/sim/facilities/LSZH.json" "$run/sim-trace.png") ||
    echo "no picture drawn"
  echo "$seen" | grep '^trace: ' || true
  echo "trace $trace, picture $run/sim-trace.png"
  [ -f "$run/window.png" ] && echo "the window as the run left it: $run/window.png"
else
  echo "no trace written"
fi
echo "---- what happened at the airport"
echo "$seen" | grep '^in the simulator: ' || echo "in the simulator: nothing counted"
echo "$seen" | grep '^landings: ' || true
log="$program/Log.txt"
count() { grep -c -E "$1" "$log" 2>/dev/null || true; }
touchDowns=$(count ' touch down ')
takeOffs=$(count ' take off ')
atStand=$(count ' arrived at stand$')
echo "in the log: $touchDowns touch-downs, $takeOffs take-offs, $atStand arrivals at a stand, $(count ' pulling out$') pull-outs, $(count ' parked static$') aircraft parked static"
grep -E ' touch down | take off | arrived at stand$| pulling out$' "$log" || true
# The five moments a user watches for, each from where it shows best.
number() { echo "$seen" | grep -o -E "[0-9]+ $1" | grep -o -E '^[0-9]+' || echo 0; }
missing=""
[ "$(number landed)" -gt 0 ] && [ "$touchDowns" -gt 0 ] || missing="$missing landing"
[ "$(number taxied)" -gt 0 ] || missing="$missing taxiing"
[ "$(number 'were pushed back')" -gt 0 ] || missing="$missing push-back"
[ "$(number 'took off')" -gt 0 ] && [ "$takeOffs" -gt 0 ] || missing="$missing take-off"
[ "$atStand" -gt 0 ] || missing="$missing arrival-at-stand"
if [ -z "$missing" ]; then
  echo "seen: landing, taxiing, push-back, take-off and arrival at a stand"
else
  echo "not seen in this run:$missing"
fi
exit "$status"
