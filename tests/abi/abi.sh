#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# What libTalveno exports, and the layout of its public types, against the
# committed baselines beside this script. The export list is read from an ELF
# library or a Windows DLL alike; the layout, from an ELF library only.
#
#   abi.sh exports LIBRARY                 print the exported symbols, normalised
#   abi.sh check-exports LIBRARY LIST      fail with a unified diff against LIST
#   abi.sh dump LIBRARY OUT HEADERDIR...   write the ABI description of LIBRARY
#   abi.sh check-abi LIBRARY ABI           fail when abidiff finds any change of
#                                          the exported functions or the types
#                                          they reach
#
# The symbol list is `nm -DC --defined-only`, demangled, with the address and the
# symbol-type letter dropped (a template member may come out weak or strong, by
# toolchain) and duplicates merged (the complete- and base-object variants of a
# constructor or destructor demangle alike; not every compiler emits both). A DLL's
# list is the name table of its export directory (`objdump -p`), demangled alike.
#
# The description keeps only what the exported functions reach, without source
# locations and build paths, so that it does not depend on where the tree was
# built. abidiff compares it with no header filter: a baseline without locations
# cannot tell public from private types, and filtering would hide real changes.
#
# Checks exit 77 (skipped) when TALVENO_ABI_SKIP names a reason, when the
# library carries no debug information, or when abidiff is not installed.
set -euo pipefail

skip() {
    echo "skipped: $*"
    exit 77
}

exports() {
    if [[ "$(head -c 2 "$1")" == MZ ]]; then
        "${OBJDUMP:-objdump}" -p "$1" |
            sed -nE '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]+\] //p' | "${CXXFILT:-c++filt}"
    else
        "${NM:-nm}" -DC --defined-only "$1" | sed -E 's/^[0-9a-fA-F]* +[A-Za-z] +//; s/@+[^@ ]*$//'
    fi | LC_ALL=C sort -u
}

header_options() {
    local option=$1 dir
    shift
    for dir in "$@"; do
        printf '%s\n' "$option" "$dir"
    done
}

soname() {
    LC_ALL=C readelf -d "$1" | sed -nE 's/.*\(SONAME\).*\[(.*)\].*/\1/p'
}

require_debug_info() {
    if ! LC_ALL=C readelf -S "$1" | grep -q '\.debug_info'; then
        skip "$1 has no debug information (build with RelWithDebInfo or Debug)"
    fi
}

mode=${1:-}
shift || true
case "$mode" in
exports)
    exports "$1"
    ;;
check-exports)
    [[ -z "${TALVENO_ABI_SKIP:-}" ]] || skip "$TALVENO_ABI_SKIP"
    library=$1 list=$2
    if ! diff -u --label "$list" --label "exported by $library" "$list" <(exports "$library"); then
        echo "The exported symbols changed. If that is intended, run scripts/update-abi-baseline.sh" >&2
        echo "and commit the new list together with the change." >&2
        exit 1
    fi
    echo "The exported symbols match $list."
    ;;
dump)
    library=$1 out=$2
    shift 2
    require_debug_info "$library"
    mapfile -t headers < <(header_options --headers-dir "$@")
    abidw --exported-interfaces-only --drop-private-types --no-show-locs --no-corpus-path \
        --no-comp-dir-path "${headers[@]}" --out-file "$out" "$library"
    ;;
check-abi)
    [[ -z "${TALVENO_ABI_SKIP:-}" ]] || skip "$TALVENO_ABI_SKIP"
    command -v abidiff >/dev/null || skip "abidiff not installed (Debian package abigail-tools)"
    library=$1 baseline=$2
    require_debug_info "$library"
    expected=$(sed -nE "s/.*<abi-corpus [^>]*soname='([^']*)'.*/\1/p" "$baseline" | head -n 1)
    actual=$(soname "$library")
    if [[ "$expected" != "$actual" ]]; then
        echo "The baseline describes $expected, the library is $actual: a new SOVERSION needs a new" >&2
        echo "baseline; run scripts/update-abi-baseline.sh and commit it with the version change." >&2
        exit 1
    fi
    status=0
    abidiff --exported-interfaces-only "$baseline" "$library" || status=$?
    if ((status != 0)); then
        echo "abidiff found a change of the ABI of $actual (exit $status). A changed layout or" >&2
        echo "signature needs a new SOVERSION; an intended addition needs a new baseline from" >&2
        echo "scripts/update-abi-baseline.sh." >&2
        exit 1
    fi
    echo "The ABI of $actual matches $baseline."
    ;;
*)
    echo "usage: $0 exports|check-exports|dump|check-abi ..." >&2
    exit 2
    ;;
esac
