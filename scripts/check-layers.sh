#!/usr/bin/env bash
# Fails when a source file includes a header of a folder its layer may not use.
# Run by the build (target vtpc_layers), so a wrong-way include stops it.
#
#   platform, common          nothing of ours above them
#   ui                        platform, common
#   media                     ui, platform, common
#   engine                    ui, media, platform, common
#   settings, sources         engine and the layers below
#   shell                     engine, settings, sources and below; the plugin interface
#   cli                       engine, settings, sources and below (not shell)
#   app                       everything
#   encoder, plugins          stand alone (the encoder shares the header-only error type)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
declare -A allowed=(
  [platform]="platform"
  [common]="common platform"
  [ui]="ui common platform"
  [media]="media ui common platform"
  [engine]="engine ui media common platform"
  [settings]="settings engine ui media common platform"
  [sources]="sources engine ui media common platform"
  [shell]="shell settings sources engine ui media common platform plugins"
  [cli]="cli settings sources engine ui media common platform"
  [app]="app shell settings sources engine ui media common platform plugins"
  [encoder]="encoder platform"
  [plugins]="plugins"
)
status=0
for folder in "${!allowed[@]}"; do
  [ -d "$root/src/$folder" ] || continue
  while IFS=: read -r file line include; do
    target="$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$include")"
    [ -d "$root/src/$target" ] || continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "layers: ${file#$root/}:$line includes $target/ (not allowed in $folder/)" >&2
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include "[a-z_]+/' "$root/src/$folder" || true)
done
exit $status
