#!/usr/bin/env bash
# Fetches OpenCC 1.4.2's text dictionaries (data/dictionary of the npm package
# `opencc`) with `npm pack` into DIR, checks the package against the digest the
# tables were made from, and prints the dictionary folder.
#
#   tools/fetch-opencc-dicts.sh DIR
set -euo pipefail
package=opencc@1.4.2
sha512=7c0a3c189cb45e1172c3dcc8b041e611528bfaa2bca9bc3485c0a3a8a379727d9403b14f394e9bd77c69aa94947fc98b34b84132621566ee89f9f12327629cc9

[[ $# -eq 1 && -d $1 ]] || { echo "usage: $0 DIR (an existing folder)" >&2; exit 2; }
command -v npm >/dev/null || { echo "fetch-opencc-dicts: npm is missing" >&2; exit 1; }
dir=$(realpath "$1")
(cd "$dir" && npm pack "$package" --silent >/dev/null)
tarball=$dir/opencc-1.4.2.tgz
echo "$sha512  $tarball" | sha512sum --check --quiet - >&2 ||
  { echo "fetch-opencc-dicts: $package does not match its recorded digest" >&2; exit 1; }
tar -xzf "$tarball" -C "$dir" package/data/dictionary
echo "$dir/package/data/dictionary"
