#!/usr/bin/env bash
# Prints the Nth (default: first) ```sh block under a heading of README.md, as it stands there,
# so that CI runs the README's own commands. Usage: HEADING [N]  (HEADING: the heading's whole
# text without the #s). Fails when there is no such block.
set -euo pipefail
cd "$(dirname "$0")/.."
heading="${1:?usage: readme-block.sh HEADING [N]}"
n="${2:-1}"
awk -v want="$heading" -v n="$n" '
    # A fence opens or closes a code block; headings count only outside blocks.
    /^```/ {
        if (!fenced) {
            fenced = 1
            if (under && substr($0, 4) == "sh" && ++count == n)
                printing = 1
        } else {
            fenced = 0
            if (printing)
                found = 1
            printing = 0
        }
        next
    }
    fenced {
        if (printing)
            print
        next
    }
    /^#+ / {
        text = $0
        sub(/^#+ +/, "", text)
        under = text == want
    }
    END {
        if (!found) {
            printf "readme-block.sh: no sh block %d under the heading \"%s\" in README.md\n", n, want > "/dev/stderr"
            exit 1
        }
    }
' README.md
