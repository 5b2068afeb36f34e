#!/usr/bin/env bash
# Installing the system: `cmake --install` of the build into a fresh temporary DESTDIR, then one
# check of the installed tree (the first argument):
#   tree     every staged library, plug-in, program and data file at its real path, the header,
#            the pkg-config file and the service unit; no build-tree run path; a present
#            configuration file is kept
#   app      the sample application compiled with `pkg-config --cflags --libs ovklib` against
#            the installed tree, run with the installed daemon and ovksim under OVK_ROOT=DESTDIR
#   deb      `cpack -G DEB` holds exactly the installed files and declares its dependencies
#   service  the service unit passes `systemd-analyze verify` (skipped without it)
# Environment (from CTest): OVK_BUILD_DIR, OVK_STAGING_ROOT, OVK_SOURCE_DIR, OVK_CXX,
# OVK_APP_FLAGS (extra compiler flags of the build, such as the sanitizers).
set -euo pipefail
check=${1:?usage: install_test.sh tree|app|deb|service}
: "${OVK_BUILD_DIR:?}" "${OVK_STAGING_ROOT:?}" "${OVK_SOURCE_DIR:?}"
SKIP=77

work=$(mktemp -d "${TMPDIR:-/tmp}/ovk-install.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do
        kill -TERM "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

dest=$work/dest
install_tree() {
    DESTDIR=$dest cmake --install "$OVK_BUILD_DIR" >"$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "cmake --install failed"; }
}

# Files (and links) of a tree, as paths from its top, sorted.
list_files() { (cd "$1" && find . \( -type f -o -type l \) | sed 's#^\./#/#' | sort); }

check_tree() {
    install_tree
    local missing=0 f
    # Everything the build stages for the terminal: the libraries, plug-ins and programs of
    # the build's targets, and the data and configuration files.
    local staged=$OVK_BUILD_DIR/package/staged-binaries.txt
    [ -s "$staged" ] || fail "no list of staged binaries ($staged)"
    while read -r f; do
        case $f in /usr/share/* | /etc/* | /usr/lib/* | /usr/bin/*) ;; *) continue ;; esac
        case $f in /usr/lib/* | /usr/bin/*) grep -qxF "$OVK_STAGING_ROOT$f" "$staged" || continue ;; esac
        if [ ! -f "$dest$f" ]; then
            echo "staged but not installed: $f" >&2
            missing=1
        elif ! cmp -s "$OVK_STAGING_ROOT$f" "$dest$f" && [ "${f#/usr/lib/}" = "$f" ] && [ "${f#/usr/bin/}" = "$f" ]; then
            # Data and configuration files are installed unchanged (binaries get their run path cut).
            echo "installed copy differs: $f" >&2
            missing=1
        fi
    done < <(list_files "$OVK_STAGING_ROOT")
    while read -r f; do
        [ -f "$dest${f#"$OVK_STAGING_ROOT"}" ] || { echo "staged but not installed: $f" >&2; missing=1; }
    done <"$staged"
    [ $missing -eq 0 ] || fail "the installed tree lacks staged files (stage them with the helpers of cmake/Ovk.cmake)"
    for f in /usr/include/ovkapi.h /usr/lib/pkgconfig/ovklib.pc /usr/bin/ovkctrl /usr/lib/libovksys.so \
             /usr/lib/libovklib.so /etc/ovksys.conf; do
        [ -f "$dest$f" ] || fail "missing $f"
    done
    [ -n "$(find "$dest" -name ovkctrl.service -path '*/systemd/system/*')" ] || fail "no service unit"
    # Installed binaries find their libraries in the real paths, never in the build tree.
    local elf
    while read -r elf; do
        if readelf -d "$elf" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$OVK_BUILD_DIR"; then
            fail "$elf keeps a run path into the build tree"
        fi
    done < <(find "$dest/usr/lib" "$dest/usr/bin" -type f)
    # A configuration file the administrator changed is kept; the default goes beside it.
    echo "# changed by the administrator" >"$dest/etc/ovksys.conf"
    install_tree
    grep -q "changed by the administrator" "$dest/etc/ovksys.conf" || fail "ovksys.conf was overwritten"
    cmp -s "$OVK_STAGING_ROOT/etc/ovksys.conf" "$dest/etc/ovksys.conf.default" ||
        fail "no ovksys.conf.default beside the kept file"
    echo "installed tree complete: $(list_files "$dest" | wc -l) files"
}

# Waits up to 20 s for a socket to appear.
wait_socket() {
    for _ in $(seq 1 200); do
        [ -S "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

check_app() {
    install_tree
    # The application builds like any other against the installed tree.
    local flags
    flags=$(PKG_CONFIG_SYSROOT_DIR=$dest PKG_CONFIG_LIBDIR=$dest/usr/lib/pkgconfig \
            pkg-config --cflags --libs ovklib) || fail "pkg-config does not know ovklib"
    echo "pkg-config --cflags --libs ovklib: $flags"
    # shellcheck disable=SC2086
    "${OVK_CXX:-c++}" -std=c++17 ${OVK_APP_FLAGS:-} -o "$work/app" \
        "$OVK_SOURCE_DIR/examples/ovksample.cpp" $flags || fail "the sample does not build from the installed tree"

    # The installed daemon and simulator on the installed tree as OVK_ROOT.
    export OVK_ROOT=$dest LD_LIBRARY_PATH=$dest/usr/lib
    mkdir -p "$dest"/{tmp,var/log,var/run,var/lib/misc,dev}
    cat >"$dest/etc/ovksim.term" <<'TERMINAL'
slot 0 planar
slot 1 rs485 type 5 kind 5 ports 2
station 1 0x11 0x54 drawer
station 1 0x11 0x22 oper
TERMINAL
    cat >"$dest/etc/ovksample.res" <<'RESOURCES'
ovksample.operator.slotNumber:   SLOT_1
ovksample.operator.portNumber:   PORT_1
ovksample.operator.deviceNumber: DEVICE_OPERATOR_DISPLAY_A
ovksample.drawer.slotNumber:     SLOT_1
ovksample.drawer.portNumber:     PORT_1
ovksample.drawer.deviceNumber:   DEVICE_CASH_DRAWER_A
RESOURCES
    "$dest/usr/bin/ovksim" -t "$dest/etc/ovksim.term" -l "$dest/var/log/ovksim.log" >/dev/null &
    pids+=($!)
    wait_socket "$dest/tmp/.ovksim" || { cat "$dest/var/log/ovksim.log" || true; fail "ovksim did not start"; }
    "$dest/usr/bin/ovkctrl" -f >"$work/daemon.out" 2>&1 &
    local daemon=$!
    pids+=("$daemon")
    wait_socket "$dest/tmp/.ovkctrl" || { cat "$work/daemon.out"; fail "the installed daemon did not start"; }

    local line="Installed OK"
    "$work/app" 4 "$line" >"$work/app.out" 2>&1 || { cat "$work/app.out"; fail "the sample failed"; }
    cat "$work/app.out"
    grep -q "operator display (handle [0-9]*): wrote \"$line\"" "$work/app.out" || fail "the sample wrote no line"
    grep -q "cash drawer (handle [0-9]*): told to open" "$work/app.out" || fail "the sample opened no drawer"
    "$dest/usr/bin/ovksim" -x "text 1 0x11 0x22 0" | grep -q "$line" || fail "the simulated display does not show the line"
    "$dest/usr/bin/ovksim" -x "drawers 1 0x11 0x54" | grep -q "drawer1=open" || fail "the simulated drawer is not open"

    kill -TERM "$daemon"
    local status=0
    wait "$daemon" || status=$?
    [ $status -eq 0 ] || { cat "$work/daemon.out"; fail "the daemon ended with status $status"; }
    grep -q "starting" "$dest/var/log/ovkctrl.log" || fail "no daemon log under the installed root"
}

check_deb() {
    command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit $SKIP; }
    install_tree
    (cd "$OVK_BUILD_DIR" && cpack -G DEB -B "$work/pkg" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip) \
        >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
    local deb
    deb=$(find "$work/pkg" -maxdepth 1 -name '*.deb' | head -n1)
    [ -n "$deb" ] || { cat "$work/cpack.log"; fail "cpack made no package"; }
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$work/deb.list"
    list_files "$dest" >"$work/dest.list"
    diff -u "$work/dest.list" "$work/deb.list" || fail "the package's files differ from the installed tree"
    dpkg-deb -I "$deb" >"$work/info"
    cat "$work/info"
    grep -E '^ Depends:.*libx11-6' "$work/info" | grep -q libltdl7 || fail "the package declares no libX11/libltdl dependency"
    dpkg-deb -I "$deb" conffiles | grep -qx /etc/ovksys.conf || fail "/etc/ovksys.conf is no configuration file of the package"
}

check_service() {
    command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit $SKIP; }
    install_tree
    local unit
    unit=$(find "$dest" -name ovkctrl.service -path '*/systemd/system/*' | head -n1)
    [ -n "$unit" ] || fail "no service unit installed"
    grep -qx 'ExecStart=/usr/bin/ovkctrl -f' "$unit" || fail "the unit does not start /usr/bin/ovkctrl -f"
    grep -qx 'Restart=on-failure' "$unit" || fail "the unit does not restart on failure"
    # Verified with the program path inside DESTDIR, where the installed daemon is.
    mkdir -p "$work/unit"
    sed "s#^ExecStart=/#ExecStart=$dest/#" "$unit" >"$work/unit/ovkctrl.service"
    local out
    out=$(systemd-analyze verify "$work/unit/ovkctrl.service" 2>&1) || { echo "$out"; fail "systemd-analyze verify failed"; }
    [ -z "$out" ] || { echo "$out"; fail "systemd-analyze verify complains"; }
    echo "service unit verified"
}

case $check in
    tree) check_tree ;;
    app) check_app ;;
    deb) check_deb ;;
    service) check_service ;;
    *) fail "unknown check $check" ;;
esac
