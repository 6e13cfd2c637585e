#!/usr/bin/env bash
# Opens PROJECT in LMMS's window on a virtual display and has LMMS save it (Ctrl+S), so the file
# holds what LMMS itself writes: the plug-in's state chunk among it. Waits until the saved file
# holds a chunk. Meant to run as the first process of a PID namespace of its own, so that the
# display, LMMS and everything LMMS started end when it ends.
# usage: lmms_gui_save.sh PROJECT.mmp LOG SECONDS
set -euo pipefail
project=$1 log=$2 limit=$3
name=$(basename "${project}" .mmp)

display_number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "${display_number}" > /dev/null 2>&1 &
for _ in $(seq 50); do
    [ -s "${display_number}" ] && break
    sleep 0.1
done
[ -s "${display_number}" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=:$(cat "${display_number}")
export DISPLAY
rm -f "${display_number}"

lmms --allowroot "${project}" > "${log}" 2>&1 &
lmms_pid=$!

# LMMS names its window after the project once it has loaded it, the plug-in included.
deadline=$((SECONDS + limit))
window=""
while [ -z "${window}" ]; do
    kill -0 "${lmms_pid}" 2> /dev/null || { echo "LMMS ended before it showed the project"; exit 1; }
    [ "${SECONDS}" -lt "${deadline}" ] || { echo "LMMS did not show the project within ${limit} s"; exit 1; }
    sleep 1
    window=$(xdotool search --name "^${name} - LMMS" 2> /dev/null | head -n 1 || true)
done
echo "LMMS showed the project after ${SECONDS} s"

# Without a window manager the window gets the keyboard only when given it; a key pressed before
# LMMS listens is lost, so press again until the file holds the chunk and its last line.
saved() { grep -q ' chunk="' "${project}" && grep -q '^</lmms-project>' "${project}"; }
while ! saved; do
    kill -0 "${lmms_pid}" 2> /dev/null || { echo "LMMS ended before it saved the project"; exit 1; }
    [ "${SECONDS}" -lt "${deadline}" ] || { echo "LMMS did not save the project within ${limit} s"; exit 1; }
    xdotool windowfocus --sync "${window}" key ctrl+s 2> /dev/null || true
    sleep 2
done
echo "LMMS saved the project after ${SECONDS} s"
