#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds libTalveno and runs its whole CTest suite as 32-bit x86, the word size
# and floating-point setup of the shipped library, inside a minimal Debian
# bookworm root. Needs root (debootstrap, chroot, mount) on an x86-64 machine.
#
# The root is made once with debootstrap from the Debian archive that this
# machine's apt uses and kept between runs; the build tree lives inside it, so a
# second run only rebuilds what changed. The source tree is mounted read-only.
# The benchmarks are not built.
#
# The root is Debian's cross-building setup: x86-64 tools (CMake, moc, GCC
# for i686) and the i386 libraries (Qt, libstdc++, glibc) side by side, so the
# build runs at native speed while every library and test is an i386 program.
# The kernel runs those itself when it can; where it cannot (no 32-bit
# compatibility), qemu's user-mode emulator runs them, registered with
# binfmt_misc for the time of the run only. A root of i386 programs throughout
# would have to run the compiler and CMake emulated there: many times slower, and
# CMake's Qt code generator aborts under qemu ("Resource deadlock avoided").
#
# Usage: scripts/check-i386.sh
# Environment: TALVENO_I386_ROOT (default build/i386-root) is where the root is
# kept; TALVENO_DEBIAN_MIRROR overrides the archive read from apt's sources;
# TALVENO_JOBS sets the build parallelism (default 2).
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$source_dir/scripts/debian-archive.sh"
root=$(realpath -m "${TALVENO_I386_ROOT:-$source_dir/build/i386-root}")
jobs=${TALVENO_JOBS:-2}
suite=bookworm
packages=(cmake make g++-i686-linux-gnu libc6-dev:i386 qtbase5-dev:i386 libqt5serialbus5-dev:i386
    prometheus-cpp-dev:i386)
# Written last into a finished root; a root without it, or made for another
# package list, is made again.
recipe="$suite amd64+i386 ${packages[*]}"
marker=$root/.talveno-i386-root

if [[ "$(id -u)" -ne 0 ]]; then
    echo "check-i386: needs root for debootstrap, chroot and mount" >&2
    exit 2
fi
if [[ "$(dpkg --print-architecture)" != amd64 ]]; then
    echo "check-i386: needs an x86-64 (amd64) Debian machine" >&2
    exit 2
fi

# Mount points under the root, deepest first: those left by a run that was killed
# before it could clean up, or those of this run.
mounts_under_root() {
    awk -v root="$root" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

release_mounts() {
    local point
    while read -r point; do
        [[ -n "$point" ]] || continue
        umount "$point" 2>/dev/null || umount -l "$point" ||
            echo "check-i386: could not unmount $point" >&2
    done < <(mounts_under_root)
}
# 32-bit x86 executables by their ELF header, as qemu registers them.
binfmt_dir=/proc/sys/fs/binfmt_misc
binfmt_name=talveno-i386
binfmt_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
binfmt_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
binfmt_mounted=false
emulated=false

release_emulation() {
    if [[ -e "$binfmt_dir/$binfmt_name" ]]; then
        echo -1 >"$binfmt_dir/$binfmt_name"
    fi
    if $binfmt_mounted; then
        umount "$binfmt_dir"
    fi
}

# Lets the kernel hand 32-bit x86 programs to qemu when it cannot run them itself.
# F opens the emulator now, so that it needs no copy inside the root.
ensure_i386_runs() {
    # A handler left by a run that was killed still emulates.
    if [[ -e "$binfmt_dir/$binfmt_name" ]]; then
        emulated=true
    fi
    if chroot "$root" /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
        return
    fi
    echo "check-i386: this kernel does not run 32-bit x86 programs; emulating them with qemu"
    emulated=true
    if [[ ! -x /usr/bin/qemu-i386-static ]]; then
        apt-get install -y --no-install-recommends qemu-user-static ||
            { apt-get update && apt-get install -y --no-install-recommends qemu-user-static; }
    fi
    if [[ ! -e "$binfmt_dir/register" ]]; then
        mount -t binfmt_misc binfmt_misc "$binfmt_dir"
        binfmt_mounted=true
    fi
    if [[ ! -e "$binfmt_dir/$binfmt_name" ]]; then
        printf '%s' ":$binfmt_name:M::$binfmt_magic:$binfmt_mask:/usr/bin/qemu-i386-static:F" >"$binfmt_dir/register"
    fi
    chroot "$root" /lib/ld-linux.so.2 --help >/dev/null
}

cleanup() {
    release_mounts
    release_emulation
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

in_root() {
    chroot "$root" /usr/bin/env -i \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

mount_system() {
    mkdir -p "$root/proc" "$root/dev" "$root/src"
    mount -t proc proc "$root/proc"
    mount --bind /dev "$root/dev"
    # The pseudo-terminals live in a mount of their own under /dev, which a plain
    # bind leaves behind; the live view's test runs the monitor on one.
    mount --bind /dev/pts "$root/dev/pts"
    mount --bind "$source_dir" "$root/src"
    mount -o remount,bind,ro "$root/src"
}

make_root() {
    local mirror
    mirror=$(debian_archive "$suite")
    if ! command -v debootstrap >/dev/null; then
        apt-get install -y --no-install-recommends debootstrap ||
            { apt-get update && apt-get install -y --no-install-recommends debootstrap; }
    fi
    # --one-file-system: never follow a mount that survived into the old root.
    rm -rf --one-file-system "$root"
    mkdir -p "$root"
    echo "check-i386: making the $suite root from $mirror"
    debootstrap --arch=amd64 --variant=minbase "$suite" "$root" "$mirror"
    printf '%s\n' force-unsafe-io 'path-exclude=/usr/share/doc/*' 'path-exclude=/usr/share/man/*' \
        'path-exclude=/usr/share/locale/*' >"$root/etc/dpkg/dpkg.cfg.d/talveno-check"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount_system
    in_root dpkg --add-architecture i386
    in_root apt-get -o Acquire::Check-Valid-Until=false update
    in_root apt-get install -y --no-install-recommends "${packages[@]}"
    in_root apt-get clean
    echo "$recipe" >"$marker"
}

release_mounts
started=$SECONDS
if [[ -f "$marker" && "$(cat "$marker")" == "$recipe" ]]; then
    echo "check-i386: reusing the root in $root"
    mount_system
else
    make_root
fi
ensure_i386_runs
echo "check-i386: root ready after $((SECONDS - started)) s"

in_root cmake -S /src -B /build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=i686 -DCMAKE_LIBRARY_ARCHITECTURE=i386-linux-gnu \
    -DCMAKE_CXX_COMPILER=i686-linux-gnu-g++ \
    -DTALVENO_SANITIZER= -DTALVENO_BUILD_BENCHMARKS=OFF
in_root cmake --build /build --parallel "$jobs"
echo "check-i386: built after $((SECONDS - started)) s"
ctest_args=(--output-on-failure --no-tests=error --timeout 600)
if $emulated; then
    # QProcess starts programs with clone(CLONE_PIDFD), which the emulator refuses.
    ctest_args+=(--exclude-regex '^tst_monitor_(run|live)$')
    echo "check-i386: under emulation without tst_monitor_run and tst_monitor_live, which start processes"
fi
in_root /bin/sh -c 'cd /build && exec ctest "$@"' ctest "${ctest_args[@]}"
echo "check-i386: all tests passed as 32-bit x86 after $((SECONDS - started)) s"
