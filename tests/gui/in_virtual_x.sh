#!/usr/bin/env bash
# Runs a command in a private X server of its own (tests/gui/virtual_x.sh), ended with it.
# Usage: in_virtual_x.sh COMMAND [ARGS...]
set -u
dir=$(mktemp -d)
. "$(dirname "$0")/virtual_x.sh"
start_virtual_x "$dir" || exit 1
trap 'kill $virtual_x_pid 2>/dev/null; wait $virtual_x_pid 2>/dev/null; rm -rf "$dir"' EXIT
"$@"
