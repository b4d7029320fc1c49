#!/usr/bin/env bash
# Checks what a user gets on disk: the Debian package, `cmake --install`, and the programs
# started from their installed desktop entries.
#
# Usage: package_test.sh MODE BUILD_DIR CMAKE CPACK
#   deb      build the package with cpack into a temporary folder, check its control fields,
#            unpack it with dpkg-deb -x and check the files under usr/
#   install  cmake --install into a temporary prefix and check the same files
#   launch   cmake --install into a temporary prefix, then run each desktop entry's Exec line
#            under Xvfb and check that the program comes up with a window and keeps running
# The expected versions come from CMake, which sets them for the test: TS_TRAILSCAN_VERSION,
# TS_KESTRAND_VERSION and TS_PACKAGE_VERSION.
# Exits 77 (skipped) when a tool the mode needs is missing.
set -euo pipefail

readonly programs=(trailscan kestrand)
declare -A program_version=(
    [trailscan]=${TS_TRAILSCAN_VERSION:?the expected trailscan version}
    [kestrand]=${TS_KESTRAND_VERSION:?the expected kestrand version})
readonly package_name=trailscan-kestrand
readonly package_version=${TS_PACKAGE_VERSION:?the expected package version}
readonly icon_sizes=(16 32 48 64 128 256)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
skip() {
    echo "SKIP: $*"
    exit 77
}

# The value of KEY in the [Desktop Entry] group of a desktop file.
desktop_value() {
    awk -v key="$2" '
        /^\[/ { in_entry = ($0 == "[Desktop Entry]") }
        in_entry && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
    ' "$1"
}

# Width and height of a PNG from its IHDR chunk, as "WxH"; empty when not a PNG.
png_size() {
    local magic
    magic=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
    [[ $magic == 89504e470d0a1a0a ]] || return 0
    local w h
    w=$(od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
    h=$(od -An -tu1 -j20 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
    echo "${w}x${h}"
}

# Every file one program brings, under an installation prefix.
check_program_files() {
    local prefix=$1 program=$2
    local version=${program_version[$program]}

    local binary=$prefix/bin/$program
    if [[ ! -f $binary || ! -x $binary ]]; then
        fail "$binary is missing or not executable"
    elif [[ $(od -An -c -N4 "$binary" | tr -d ' ') != '177ELF' ]]; then
        fail "$binary is not an ELF executable"
    fi

    local desktop=$prefix/share/applications/$program.desktop
    if [[ ! -f $desktop ]]; then
        fail "$desktop is missing"
    else
        [[ $(desktop_value "$desktop" Type) == Application ]] || fail "$desktop: Type"
        [[ $(desktop_value "$desktop" Name) == "$program" ]] || fail "$desktop: Name"
        [[ -n $(desktop_value "$desktop" GenericName) ]] || fail "$desktop: no GenericName"
        [[ -n $(desktop_value "$desktop" Comment) ]] || fail "$desktop: no Comment"
        [[ $(desktop_value "$desktop" Exec) == "$program" || $(desktop_value "$desktop" Exec) == "$program %f" ]] || fail "$desktop: Exec"
        [[ $(desktop_value "$desktop" Icon) == "$program" ]] || fail "$desktop: Icon"
        [[ $(desktop_value "$desktop" Terminal) == false ]] || fail "$desktop: Terminal"
        [[ $(desktop_value "$desktop" X-AppVersion) == "$version" ]] ||
            fail "$desktop: X-AppVersion is not $version"
        if command -v desktop-file-validate > /dev/null; then
            desktop-file-validate "$desktop" || fail "$desktop does not validate"
        else
            echo "note: desktop-file-validate not installed; entry checked by key only"
        fi
    fi

    local size icon
    for size in "${icon_sizes[@]}"; do
        icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$program.png
        if [[ ! -f $icon ]]; then
            fail "$icon is missing"
        elif [[ $(png_size "$icon") != "${size}x${size}" ]]; then
            fail "$icon is not a ${size}x${size} PNG (found '$(png_size "$icon")')"
        fi
    done

    local metainfo=()
    mapfile -t metainfo < <(
        find "$prefix/share/metainfo" -name "*.$program.metainfo.xml" 2> /dev/null)
    if ((${#metainfo[@]} != 1)); then
        fail "expected one metainfo file of $program, found ${#metainfo[@]}"
    else
        grep -q "<release version=\"$version\"" "${metainfo[0]}" ||
            fail "${metainfo[0]}: no release $version"
        grep -q "<launchable type=\"desktop-id\">$program.desktop</launchable>" "${metainfo[0]}" ||
            fail "${metainfo[0]}: does not launch $program.desktop"
        if command -v appstreamcli > /dev/null; then
            appstreamcli validate --no-net "${metainfo[0]}" > "$work/appstream.log" 2>&1 || {
                cat "$work/appstream.log" >&2
                fail "${metainfo[0]} does not validate"
            }
        fi
    fi
}

check_installed_tree() {
    local prefix=$1 program
    for program in "${programs[@]}"; do
        check_program_files "$prefix" "$program"
    done
}

install_into() {
    "$cmake" --install "$build" --prefix "$1" > "$work/install.log" 2>&1 || {
        cat "$work/install.log" >&2
        echo "FAIL: cmake --install" >&2
        exit 1
    }
}

check_deb() {
    command -v dpkg-deb > /dev/null || skip "dpkg-deb not installed"
    # The package's own folder keeps cpack's scratch files away from other tests.
    "$cpack" -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" > "$work/cpack.log" 2>&1 || {
        cat "$work/cpack.log" >&2
        echo "FAIL: cpack -G DEB" >&2
        exit 1
    }
    local debs=()
    mapfile -t debs < <(find "$work/out" -maxdepth 1 -name '*.deb')
    if ((${#debs[@]} != 1)); then
        echo "FAIL: expected one .deb, found ${#debs[@]}" >&2
        exit 1
    fi
    local deb=${debs[0]}
    echo "package: $(basename "$deb")"

    [[ $(dpkg-deb -f "$deb" Package) == "$package_name" ]] || fail "Package field"
    [[ $(dpkg-deb -f "$deb" Version) == "$package_version" ]] ||
        fail "Version field is '$(dpkg-deb -f "$deb" Version)', not $package_version"
    if command -v dpkg > /dev/null; then
        [[ $(dpkg-deb -f "$deb" Architecture) == "$(dpkg --print-architecture)" ]] ||
            fail "Architecture field"
    fi
    [[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "no Maintainer field"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    local needed
    for needed in libqt6widgets6 libqt6gui6 libqt6core6 libqt6charts6 fonts-noto-core uap-core; do
        [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed"
    done

    # Everything lives under /usr, owned by root, and the programs are executable by all.
    local listing
    listing=$(dpkg-deb -c "$deb")
    if grep -v ' \./usr/' <<< "$listing" | grep -v ' \./$' | grep -q .; then
        fail "files outside /usr: $(grep -v ' \./usr/' <<< "$listing" | grep -v ' \./$')"
    fi
    if grep -v ' root/root ' <<< "$listing" | grep -q .; then
        fail "entries not owned by root/root"
    fi
    # A program may be a link to its versioned file; the unpacked tree checks where it leads.
    local program
    for program in "${programs[@]}"; do
        local entry="\./usr/bin/$program"
        grep -Eq "^(-rwxr-xr-x .* $entry|lrwxrwxrwx .* $entry -> [^/]+)\$" <<< "$listing" ||
            fail "usr/bin/$program is not an executable file in the package"
    done

    dpkg-deb -x "$deb" "$work/root"
    check_installed_tree "$work/root/usr"
}

# Under a running X server: start one desktop entry's Exec line and watch for its window.
launch_inner() {
    local prefix=$1 program=$2
    local desktop=$prefix/share/applications/$program.desktop
    local exec_line
    exec_line=$(desktop_value "$desktop" Exec)
    # Field codes (%f, %U, ...) would stand for files; an entry started from a menu has none.
    exec_line=$(sed -E 's/ ?%[fFuUdDnNickvm]//g' <<< "$exec_line")
    local command_words=()
    read -ra command_words <<< "$exec_line"

    export PATH=$prefix/bin:$PATH
    local resolved
    resolved=$(command -v "${command_words[0]}" || true)
    if [[ $resolved != "$prefix/bin/$program" ]]; then
        echo "FAIL: Exec of $program.desktop runs '$resolved', not the installed program" >&2
        return 1
    fi

    unset QT_QPA_PLATFORM
    local log=$work/$program.run.log
    timeout 8 "${command_words[@]}" > "$log" 2>&1 &
    local pid=$!

    local window_seen=no
    if command -v xwininfo > /dev/null; then
        local tries
        for ((tries = 0; tries < 70; tries++)); do
            # Qt names the window class after the program.
            if xwininfo -root -tree 2> /dev/null | grep -q "(\"$program\" "; then
                window_seen=yes
                break
            fi
            kill -0 "$pid" 2> /dev/null || break
            sleep 0.1
        done
    else
        window_seen=unchecked
    fi

    local status=0
    wait "$pid" || status=$?
    echo "$program: exit status $status (124: still running when timed out), window: $window_seen"
    if ((status != 124)); then
        cat "$log" >&2
        echo "FAIL: $program did not keep running from its desktop entry" >&2
        return 1
    fi
    if [[ $window_seen == no ]]; then
        cat "$log" >&2
        echo "FAIL: $program showed no window" >&2
        return 1
    fi
}

check_launch() {
    command -v xvfb-run > /dev/null || skip "xvfb-run not installed"
    install_into "$work/prefix"
    local program
    for program in "${programs[@]}"; do
        [[ -f $work/prefix/share/applications/$program.desktop ]] || {
            fail "$program.desktop is not installed"
            continue
        }
        xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
            bash "$0" launch-inner "$build" "$cmake" "$cpack" "$work" "$work/prefix" "$program" ||
            fail "$program did not start from its desktop entry"
    done
}

mode=${1:?mode}
build=${2:?build folder}
cmake=${3:?cmake}
cpack=${4:?cpack}

if [[ $mode == launch-inner ]]; then
    work=${5:?}
    launch_inner "${6:?}" "${7:?}"
    exit
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/package_test.XXXXXX")
trap 'rm -rf "$work"' EXIT

case $mode in
    deb) check_deb ;;
    install)
        install_into "$work/prefix"
        check_installed_tree "$work/prefix"
        ;;
    launch) check_launch ;;
    *)
        echo "unknown mode $mode" >&2
        exit 2
        ;;
esac

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed ($mode)"
