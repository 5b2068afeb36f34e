#!/usr/bin/env bash
# The demo run as a new user would, from a clone under a folder path over 100 characters: the
# source tree is copied there, with a build folder that links to this build's staging root
# and test plug-ins, so that every path the demo takes from the clone is long and nothing is
# built. It must show the scan, the card swipe and the test device's offline and online
# events and end with status 0; the daemon's and the simulator's logs repeat no line more
# than a few times. Then a demo whose waits cannot be met ends with status 1 and one line
# naming its step, and leaves no program of its root running; and a demo on a build folder
# with nothing built ends with status 1 and one line naming the missing build.
# Environment (from CTest): OVK_BUILD_DIR, OVK_SOURCE_DIR.
set -euo pipefail
: "${OVK_BUILD_DIR:?}" "${OVK_SOURCE_DIR:?}"

work=$(mktemp -d "${TMPDIR:-/tmp}/ovk-demo-test.XXXXXX")
clone=$work/$(printf 'p%.0s' {1..40})/point-of-sale/$(printf 'd%.0s' {1..40})/device-support
cleanup() {
    local root
    root=$(readlink "$clone/build/demo-root" 2>/dev/null || true)
    case $root in */ovkdemo.*) rm -rf "$root" ;; esac
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

[ ${#clone} -gt 100 ] || fail "the clone's path is only ${#clone} characters"
mkdir -p "$clone/build"
(cd "$OVK_SOURCE_DIR" && tar --exclude='./build*' --exclude=./.git -cf - .) | tar -xf - -C "$clone"
ln -s "$OVK_BUILD_DIR/root" "$clone/build/root"
mkdir -p "$clone/build/tests/e2e/discovery"
ln -s "$OVK_BUILD_DIR/tests/e2e/discovery/plugins" "$clone/build/tests/e2e/discovery/plugins"

status=0
(cd "$clone" && OVK_DEMO_BUILD=build ./scripts/demo) >"$work/demo.out" 2>&1 || status=$?
show() { cat "$work/demo.out"; }
[ $status -eq 0 ] || { show; fail "the demo ended with status $status"; }
for text in "drawer opened" "drawer closed" "key code 0x20 released" \
            "^scanner (handle [0-9]*): read .*label type 0x[0-9a-f]* flags [0-9]* \"012345678901\"" \
            "^MSR (handle [0-9]*): read .*track 2 \";4111111111111111=2912?\"" \
            "device offline *msg 0x420c p1 0x01224a" "device online *msg 0x420d p1 0x01224a" \
            "^[0-9]* event(s)$"; do
    grep -q -- "$text" "$work/demo.out" || { show; fail "the demo's output shows no \"$text\""; }
done

# No line of either log comes back more than a few times (time stamps aside).
root=$(readlink "$clone/build/demo-root")
for log in ovkctrl.log ovksim.log; do
    repeated=$(sed -E 's/[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?//g' "$root/var/log/$log" | sort | uniq -c |
               awk '$1 > 3' || true)
    [ -z "$repeated" ] || { cat "$root/var/log/$log"; fail "$log repeats lines: $repeated"; }
done

# Waits that cannot be met: the first step fails, named in the last line, and the programs
# are gone.
status=0
(cd "$clone" && OVK_DEMO_BUILD=build OVK_DEMO_TIMEOUT=0 ./scripts/demo) >"$work/fail.out" 2>&1 || status=$?
[ $status -eq 1 ] || { cat "$work/fail.out"; fail "a demo whose step failed ended with status $status"; }
tail -n1 "$work/fail.out" | grep -q '^demo failed at step "[^"]*": ' ||
    { cat "$work/fail.out"; fail "the last line names no failed step"; }
[ "$(grep -c '^demo failed' "$work/fail.out")" -eq 1 ] ||
    { cat "$work/fail.out"; fail "the demo printed more than one failure line"; }
root=$(readlink "$clone/build/demo-root")
for environ in /proc/[0-9]*/environ; do
    if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "OVK_ROOT=$root"; then
        cat "$work/fail.out"
        fail "a program of the failed demo still runs: $(tr '\0' ' ' <"${environ%/environ}/cmdline" 2>/dev/null)"
    fi
done
# Nothing built: the demo fails, naming the missing step, for an empty build folder and for
# none at all.
mkdir -p "$clone/empty-build"
for folder in empty-build no-such-build; do
    status=0
    (cd "$clone" && OVK_DEMO_BUILD=$folder ./scripts/demo) >"$work/unbuilt.out" 2>&1 || status=$?
    [ $status -eq 1 ] || { cat "$work/unbuilt.out"; fail "a demo on $folder ended with status $status"; }
    tail -n1 "$work/unbuilt.out" | grep -q '^demo failed at step "building": ' ||
        { cat "$work/unbuilt.out"; fail "a demo on $folder names no missing build"; }
done
echo "the demo ran from $clone"
