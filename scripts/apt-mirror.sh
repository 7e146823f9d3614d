#!/usr/bin/env bash
# Prints the address of the Debian archive that serves a suite, read from this machine's apt
# sources (the one-line format and the deb822 .sources files): the first one listed.
#
# Usage: scripts/apt-mirror.sh SUITE          (e.g. bookworm, bookworm-security)
# Exits 1, printing nothing on standard output, when no enabled "deb" source serves SUITE.
set -euo pipefail

if (($# != 1)); then
    echo "usage: $0 SUITE" >&2
    exit 2
fi
wanted=$1

uris=$(
    {
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed 's/\[[^]]*\]//' |
            awk -v s="$wanted" '$1 == "deb" && $3 == s { print $2 }'
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
            awk -v s="$wanted" '
                function flush() {
                    if (deb && enabled) {
                        n = split(suites, list, " ")
                        for (i = 1; i <= n; i++)
                            if (list[i] == s) print uris
                    }
                    deb = 0; enabled = 1; suites = ""; uris = ""
                }
                BEGIN { enabled = 1 }
                /^[ \t]*$/ { flush(); next }
                /^#/ { next }
                tolower($1) == "types:" { deb = ($0 ~ /[: ]deb( |$)/) }
                tolower($1) == "enabled:" { enabled = (tolower($2) != "no") }
                tolower($1) == "suites:" { $1 = ""; suites = $0 }
                tolower($1) == "uris:" { uris = $2 }
                END { flush() }'
    } | sed 's|/*$||' | awk 'NF && !seen[$0]++'
) || true

if [[ -z "$uris" ]]; then
    exit 1
fi
head -n1 <<<"$uris"
