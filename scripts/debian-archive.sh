# SPDX-License-Identifier: LGPL-2.1-or-later
# Sourced by the scripts that fetch from the Debian archive this machine's apt uses.

# The first "deb" source of the suite SUITE in apt's active lists, deb822 or
# one-line. Usage: debian_mirror SUITE
debian_mirror() {
    local suite=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f "$file" ]] || continue
        awk -v suite="$suite" '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && suites ~ ("(^| )" suite "( |$)") && enabled != "no" && uri != "")
                    { print uri; found = 1; exit }
                types = suites = uri = enabled = ""
            }
            /^[[:space:]]*#/ { next }
            /^[[:space:]]*$/ { flush(); next }
            {
                key = tolower($1); sub(/:$/, "", key)
                value = $0; sub(/^[^:]*:[[:space:]]*/, "", value)
                if (key == "types") types = value
                else if (key == "suites") suites = value
                else if (key == "enabled") enabled = tolower(value)
                else if (key == "uris") { split(value, parts, /[[:space:]]+/); uri = parts[1] }
            }
            END { if (!found) flush() }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f "$file" ]] || continue
        awk -v suite="$suite" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite) { print $i; exit }
            }' "$file"
    done
}

# TALVENO_DEBIAN_MIRROR, or else the first archive of SUITE in apt's lists; fails
# with a message when there is none. Usage: debian_archive SUITE
debian_archive() {
    local mirror=${TALVENO_DEBIAN_MIRROR:-}
    if [[ -z "$mirror" ]]; then
        mirror=$(debian_mirror "$1")
        mirror=${mirror%%$'\n'*}
    fi
    if [[ -z "$mirror" ]]; then
        echo "$(basename "$0"): no '$1' source in apt's lists; set TALVENO_DEBIAN_MIRROR" >&2
        return 1
    fi
    echo "$mirror"
}
