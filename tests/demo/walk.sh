#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs `scripts/demo --walk` over a built tree and checks what a user would: it ends by
# itself, every picture is written and readable, each printer got its part of the run,
# no queue is left held, and nothing the demo started is still running.
#   walk.sh SOURCE-DIR BIN-DIR
set -uo pipefail
source_dir=$1
bin=$2
out=$(mktemp -d "${TMPDIR:-/tmp}/demo-walk.XXXXXX")
trap 'rm -rf "$out"' EXIT
passes=0
failures=0
check() { # DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "PASS   : $what"; passes=$((passes + 1)); else echo "FAIL!  : $what"; failures=$((failures + 1)); fi
}

start=$(date +%s)
KAVNI_DEMO_BIN=$bin "$source_dir/scripts/demo" --walk "$out/shots" >"$out/demo.out" 2>&1
status=$?
took=$(($(date +%s) - start))
sed 's/^/  | /' "$out/demo.out"
echo "the walk took $took s"

check "the demo ends with code 0" test "$status" -eq 0
for name in 01-printer-selection 02-wait-box 03-firmware-update 04-abort-question 05-firmware-updated \
    06-adjustment 07-final 08-warning-cover-open 09-final-after-cover 10-error-printer-refused; do
    # A PNG of a window's size at least (the wait box is the smallest), not an empty grab.
    check "picture $name" python3 - "$out/shots/$name.png" <<'PY'
import struct, sys
with open(sys.argv[1], "rb") as f:
    head = f.read(24)
width, height = struct.unpack(">II", head[16:24]) if len(head) == 24 else (0, 0)
ok = head[:8] == b"\x89PNG\r\n\x1a\n" and width >= 200 and height >= 50
sys.exit(0 if ok else 1)
PY
done
check "no failure picture" test ! -e "$out/shots/failed.png"
log=$out/shots/Talvor-K1-old-firmware.log
check "the old printer got one frame and restarted" \
    test "$(grep -c ' cmd \\eDf;' "$log" 2>/dev/null)" = 1 -a "$(grep -c ' up F' "$log" 2>/dev/null)" = 1
check "the old printer was adjusted" grep -q ' cmd \\eSa;c\\r' "$log"
check "the cover printer was adjusted once its cover was closed" \
    grep -q ' cmd \\eSa;c\\r' "$out/shots/Talvor-K5-cover-open.log"
check "the current printer got no frame" bash -c "! grep -q ' cmd \\\\eDf;' '$out/shots/Talvor-K3-current.log'"
check "no queue is left held" bash -c "! grep -q 'holds the printer' '$out/demo.out'"
check "three queues idle at the end" test "$(grep -c 'is idle' "$out/demo.out")" = 3
check "the trace was written" grep -q '\[Page3K\] \[applyAction\]' "$out/shots/wizard-trace.log"
# What still runs from the demo's folder or this build's tool (the wizard starts the tool
# again by its bare name, so it is known by its program).
leftovers() {
    local proc exe
    for proc in /proc/[0-9]*; do
        exe=$(readlink "$proc/exe" 2>/dev/null) || continue
        case $exe in "$bin"/x32/Ruvelk.exe | "$bin"/x64/Ruvelk.exe) echo "${proc#/proc/} $exe" ;; esac
        tr '\0' ' ' <"$proc/cmdline" 2>/dev/null | grep -qE 'kavni-demo\.[A-Za-z0-9]{6}' && echo "${proc#/proc/} $exe"
    done
}
sleep 1
left=$(leftovers)
[ -z "$left" ] || echo "still running: $left"
check "nothing the demo started still runs" test -z "$left"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
