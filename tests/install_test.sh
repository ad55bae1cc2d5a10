#!/usr/bin/env bash
# An installed copy under a prefix its user cannot write: it converts, finds its
# module, keeps its files in the user's configuration folder and has a manual page.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# Run the installed program with the prefix read-only: a private read-only bind
# mount where we may make one (root), otherwise the user's own lack of rights.
run() {
  if [ "$(id -u)" = 0 ]; then
    unshare -m sh -c 'mount --bind "$0" "$0" && mount -o remount,ro,bind "$0" "$0" && shift && exec "$@"' \
      "$prefix" -- "$@"
  else
    chmod -R a-w "$prefix"
    "$@"
  fi
}
if [ "$(id -u)" = 0 ] && ! unshare -m true 2>/dev/null; then
  echo "SKIP: cannot make a private read-only mount here (unshare -m refused)"
  exit 77
fi

conf=$work/conf
mkdir -p "$conf/quillmer"
export XDG_CONFIG_HOME=$conf HOME=$work/home
unset QUILLMER_HOME QUILLMER_REGISTRY
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(printf '中华人民共和国的头发' | run "$prefix/bin/quillmer" convert --to-trad)
[ "$out" = "中華人民共和國的頭髮" ] || fail "convert printed '$out'"

# A user table in the configuration folder is merged; its index and the
# settings go there too, and nothing is written under the prefix.
{ printf -- '-1,-1,-1,-1,-1,-1\r\n"Key","Value"\r\n'
  printf '"中國","華夏"\r\n' | iconv -f UTF-8 -t BIG5; } >"$conf/quillmer/user_b5fix.dat"
before=$(find "$prefix" -printf '%p %s %T@\n' | sort)
out=$(printf '中国头发' | run "$prefix/bin/quillmer" convert --to-trad)
[ "$out" = "華夏頭髮" ] || fail "the user table was not used: '$out'"
[ -f "$conf/quillmer/b5fix.ndx" ] || fail "no index in the configuration folder"
grep -q '^AgeUserB5fix=' "$conf/quillmer/Quillmer.ini" || fail "no settings in the configuration folder"
[ "$before" = "$(find "$prefix" -printf '%p %s %T@\n' | sort)" ] || fail "the prefix changed"

# The program finds its module under lib/quillmer; the registry store is the
# user's too.
run "$prefix/bin/quillmer" register >/dev/null || fail "register"
[ -f "$conf/quillmer/registry" ] || fail "no registry store in the configuration folder"
out=$(run "$prefix/bin/quillmer" str --to-trad 中华)
[ "$out" = "中華" ] || fail "str printed '$out'"

# A folder made on first use.
rm -rf "$conf/quillmer"
out=$(printf '头发' | run "$prefix/bin/quillmer" convert --to-trad)
[ "$out" = "頭髮" ] || fail "convert without a configuration folder printed '$out'"

page=$(MANPATH="$prefix/share/man" man quillmer 2>/dev/null | head -6 | tr -s " \n" "  ")
case $page in *"quillmer - convert Chinese text"*) ;; *) fail "man quillmer: '$page'" ;; esac
echo "installed copy: ok"
