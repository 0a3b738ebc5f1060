#!/usr/bin/env bash
# Lays out a generated help file of about 1 MB (many pages with titles, paragraphs,
# numbered lists, links and nested tables) with "helpview --dump", next to
# "w3m -dump" of the same file in the same run, as a reference only: w3m is installed
# from the distribution's packages when missing and is no dependency of the project.
#   bench/helpview.sh [BUILD_DIR] [RUNS]     (build by default; 5 runs, the best counts)
# Prints the best wall time of each, their ratio (the aim is 0.5 or less) and the
# peak memory of helpview against the file size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-5}
helpview="$build/helpview"
[ -x "$helpview" ] || { echo "no $helpview: build the helpview target first" >&2; exit 1; }
if ! command -v w3m >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q w3m >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q w3m >/dev/null; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/big.html"
awk -v pages=620 'BEGIN {
  for (p = 0; p < pages; p++) {
    printf "<html page=\"p%d\"><head><title>Page %d of the generated help</title></head><body>\n", p, p
    printf "<h1>Section %d</h1>\n", p
    for (k = 0; k < 4; k++)
      printf "<p>Paragraph %d of page %d: the installer copies the medium, unpacks the archive and writes the scripts; see <a href=\"#p%d\">page %d</a>&#32;and <a name=\"a%d_%d\">this anchor</a>.</p>\n", k, p, (p + 1) % pages, (p + 1) % pages, p, k
    printf "<ol>"
    for (k = 0; k < 5; k++)
      printf "<li>Step %d of the list on page %d &eacute;t&eacute;</li>\n", k, p
    printf "</ol>\n<table border=\"1\" cellpadding=\"7\"><tr><td>Place</td><td>Content</td></tr>\n"
    for (k = 0; k < 4; k++)
      printf "<tr><td>/opt/dir%d</td><td><table border><tr><td>inner %d</td><td>cell</td></tr></table></td></tr>\n", k, k
    printf "</table>\n<p><a href=\"#p0\">Contents</a></p></body></html>\n"
  }
}' > "$file"
size=$(stat -c %s "$file")

best() {  # best wall time in seconds of runs of the command
  local b="" t
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$work/time" -f %e "$@" >/dev/null 2>&1
    t=$(tail -1 "$work/time")
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  echo "$b"
}

"$helpview" --dump "$file" > "$work/helpview.txt"
w3m -dump -T text/html "$file" > "$work/w3m.txt"
h=$(best "$helpview" --dump "$file")
w=$(best w3m -dump -T text/html "$file")
/usr/bin/time -o "$work/rss" -f %M "$helpview" --dump "$file" >/dev/null
rss=$(tail -1 "$work/rss")
/usr/bin/time -o "$work/rss0" -f %M "$helpview" --help >/dev/null
base=$(tail -1 "$work/rss0")
echo "help file: $size bytes, $(grep -c '^== page' "$work/helpview.txt") pages, $(wc -l < "$work/helpview.txt") lines dumped"
echo "helpview --dump: ${h}s   w3m -dump: ${w}s"
awk -v h="$h" -v w="$w" 'BEGIN { if (w > 0) printf "ratio (helpview / w3m): %.2f\n", h / w; else print "ratio: w3m too fast to measure" }'
awk -v r="$rss" -v b="$base" -v s="$size" 'BEGIN { printf "helpview peak memory: %d KiB (%d KiB above its start), %.1f times the file size\n", r, r - b, (r - b) * 1024 / s }'
