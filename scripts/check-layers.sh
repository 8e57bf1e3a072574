#!/bin/sh
# check-layers.sh -- fails when a source under src/ includes a folder above its own.
#
# The folders are layers, lowest first: a folder may include its own headers and those of
# the folders before it, never one after it.
set -eu
cd "$(dirname "$0")/.."

layers="platform data sim race ai render sound net shell"

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
status=0
position=0
for folder in $layers; do
  position=$((position + 1))
  [ -d "src/$folder" ] || continue
  above=$(echo "$layers" | tr ' ' '\n' | tail -n +$((position + 1)) | paste -sd'|' -)
  [ -n "$above" ] || continue
  if grep -rnE "#include \"($above)/" "src/$folder" >"$tmp" 2>/dev/null; then
    echo "src/$folder includes a layer above it:" >&2
    sed 's/^/  /' "$tmp" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "layers: every include points down"
exit "$status"
