#!/usr/bin/env bash
# The demo: builds an installation site from the demo product with the media builder,
# runs setup from it the way an administrator would, inside the isolated root (the
# host is never changed), and shows what was installed.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
repo=$PWD
demo=$repo/$build/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== Building the installation site from examples/demo-product"
"$build/mksite" examples/demo-product "$demo/site"
ls -l "$demo/site"
echo
echo "== The media list (disks)"
cat "$demo/site/disks"

echo
echo "== Running setup from the site (as root, in the isolated root)"
# A first installation asks nothing; the prepared answers are there for the
# questions an upgrade or a conflicting package would ask.
printf 'y\ny\n' > "$demo/answers"
tools/sandbox/run-isolated --state "$demo/state" --cwd "$demo/site" -- ./setup < "$demo/answers"
echo "setup ended with status $?"

root=$demo/state/root
echo
echo "== The application directory /opt/Talvo/dorv"
(cd "$root" && find opt/Talvo | sort | while read -r f; do
    printf '%s %s\n' "$(stat -c '%A' "$f")" "/$f"
done)
echo
echo "== The spooler flag /opt/Talvo/dorv/.kv_cfg (between the bars)"
printf '|%s|\n' "$(cat "$root/opt/Talvo/dorv/.kv_cfg")"
echo
echo "== The launcher /usr/bin/kelvra"
cat "$root/usr/bin/kelvra"
echo
echo "== Spool directories and the registered package"
(cd "$root" && find var/spool/Talvo var/sadm/pkg -maxdepth 3 | sort | sed 's|^|/|')
echo
echo "== What the maintenance tool was asked to do"
cat "$root/opt/Talvo/dorv/kvqadmin.calls"
echo
echo "== The log /tmp/setup.log"
cat "$root/tmp/setup.log"
echo
echo "== The work area is gone: $( [ -e "$root/tmp/TalvoInstall" ] && echo no || echo yes )"
