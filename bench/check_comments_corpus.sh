#!/usr/bin/env bash
# Checks on a site that comment removal never deletes code:
#
#   check_comments_corpus.sh SITE TRIMORA_CLI
#
# 1. Default options: every .js file of SITE that compiles as a classic script (node's
#    vm.Script) still compiles after `trimora-cli optimize`, and so does every inline script of
#    every .html/.htm page.
# 2. With --keep-tabs --keep-double-spaces --keep-empty-lines: every .js file minifies with
#    esbuild's minify-whitespace to the same output before and after, i.e. only comments and
#    white space outside literals changed. Files holding the site editor's include markers
#    ("<!-- End", "<!-- bxinclude") are exempt: those markers go wherever they stand.
#
# Needs node. esbuild is taken from $ESBUILD_DIR (an installed esbuild package folder), else
# from ${TMPDIR:-/tmp}/trimora-tools/node_modules/esbuild (npm install --prefix
# ${TMPDIR:-/tmp}/trimora-tools esbuild); without it check 2 is skipped. SITE is only read.
# Prints the figures; exits 1 when a check fails.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ $# -eq 2 ] || { echo "usage: $0 SITE TRIMORA_CLI" >&2; exit 2; }
site=$(cd "$1" && pwd)
cli=$2
command -v node >/dev/null || { echo "node is needed" >&2; exit 1; }
[ -x "$cli" ] || { echo "not an executable: $cli" >&2; exit 1; }

esbuild_dir=${ESBUILD_DIR:-${TMPDIR:-/tmp}/trimora-tools/node_modules/esbuild}
work=$(mktemp -d "${TMPDIR:-/tmp}/trimora-comments.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Hidden folders and files are not rewritten by the run; leave them out here too.
find "$site" -name '.*' -prune -o -type f -iname '*.js' -print | LC_ALL=C sort > "$work/js.txt"
find "$site" -name '.*' -prune -o -type f \( -iname '*.html' -o -iname '*.htm' \) -print | LC_ALL=C sort > "$work/html.txt"

# optimize LIST OUTDIR PAIRS [flags]: runs the CLI over every file of LIST.
optimize() {
  local list=$1 outdir=$2 pairs=$3
  shift 3
  mkdir -p "$outdir"
  : > "$pairs"
  local i=0 f out
  while IFS= read -r f; do
    i=$((i + 1))
    out=$outdir/$i.${f##*.}
    if ! "$cli" optimize "$f" "$@" > "$out" 2>/dev/null; then
      echo "trimora-cli failed on $f" >&2
      return 1
    fi
    printf '%s\t%s\n' "$f" "$out" >> "$pairs"
  done < "$list"
}

status=0
echo "== default options: scripts compile before -> after"
optimize "$work/js.txt" "$work/js-default" "$work/js-default.tsv"
node "$here/check_comments_corpus.js" compile "$work/js-default.tsv" || status=1

echo "== default options: inline scripts of pages compile before -> after"
optimize "$work/html.txt" "$work/html-default" "$work/html-default.tsv"
node "$here/check_comments_corpus.js" inline "$work/html-default.tsv" || status=1

echo "== --keep-tabs --keep-double-spaces --keep-empty-lines: esbuild --minify-whitespace before == after"
if [ -f "$esbuild_dir/package.json" ]; then
  optimize "$work/js.txt" "$work/js-keep" "$work/js-keep.tsv" --keep-tabs --keep-double-spaces --keep-empty-lines
  node "$here/check_comments_corpus.js" same "$esbuild_dir" "$work/js-keep.tsv" || status=1
else
  echo "skipped: no esbuild package at $esbuild_dir (set ESBUILD_DIR)"
fi
exit $status
