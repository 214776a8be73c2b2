#!/usr/bin/env bash
# install_test.sh BUILD_DIR: installs the build into a scratch prefix and checks what landed.
set -euo pipefail
build=$1
prefix=$(mktemp -d /tmp/kvinstall.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for tool in kvcontrol kvctl kvhandheld kverp kvcradle; do
    [ -x "$prefix/bin/$tool" ] || fail "$tool not installed"
    [ -s "$prefix/share/man/man1/$tool.1.gz" ] || fail "no man page for $tool"
    page=$(zcat "$prefix/share/man/man1/$tool.1.gz")
    grep -q "^\.SH" <<<"$page" || fail "$tool.1 is no man page"
    for section in ENVIRONMENT '"EXIT STATUS"'; do
        grep -q "^\.SH $section" <<<"$page" || fail "$tool.1 has no $section section"
    done
done
# Every command's options, in the page of the tools of several commands.
zcat "$prefix/share/man/man1/kvctl.1.gz" | grep -q -- 'no\\-wait' || fail "kvctl.1 lacks send's options"
zcat "$prefix/share/man/man1/kvhandheld.1.gz" | grep -q -- 'work\\-orders' || fail "kvhandheld.1 lacks capture's options"
zcat "$prefix/share/man/man1/kvctl.1.gz" | grep -q '^\.SH FILES' || fail "kvctl.1 has no FILES section"
[ -s "$prefix/share/doc/kvcontrol/copyright" ] || fail "no copyright file"
[ -e "$prefix/bin/kvshots" ] && fail "kvshots is a build tool, not for sites"
[ -s "$prefix/share/doc/kvcontrol/README.md" ] || fail "README not installed"
[ -s "$prefix/share/icons/hicolor/scalable/apps/kvcontrol.svg" ] || fail "no icon"
grep -qx "ExecStart=$prefix/bin/kvcradle --listen 127.0.0.1:8790" "$prefix/lib/systemd/user/kvcradle.service" ||
    fail "no systemd user unit for kvcradle naming the installed program"
desktop-file-validate "$prefix/share/applications/kvcontrol.desktop" || fail "desktop entry invalid"

# The installed tools run on their own, from a fresh application folder.
export KVCONTROL_HOME="$prefix/home"
"$prefix/bin/kvctl" --help | grep -q "^Usage: kvctl" || fail "installed kvctl --help"
[ "$("$prefix/bin/kvctl" --version)" = "kvctl $(sed -n 's/^project(kvcontrol VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")" ] ||
    fail "installed kvctl --version: $("$prefix/bin/kvctl" --version)"
"$prefix/bin/kvctl" help send | grep -q "^Usage: kvctl send" || fail "installed kvctl help send"
"$prefix/bin/kvctl" store init "$prefix/store.mdb" || fail "installed kvctl store init"
[ -s "$prefix/store.mdb" ] || fail "store not made"
# The handheld application beside the programs, and the installed cradle serving it.
for f in index.html sw.js manifest.webmanifest vendor/sql-wasm-browser.wasm handheld-vacio.db; do
    [ -s "$prefix/share/kvcontrol/app/$f" ] || fail "kvmovil's $f not installed"
done
"$prefix/bin/kvcradle" --home "$KVCONTROL_HOME" --listen 127.0.0.1:0 2>"$prefix/cradle.log" &
cradle=$!
url=""
for _ in $(seq 1 50); do
    url=$(sed -n 's/.*listening on \(http:\/\/127.0.0.1:[0-9]*\).*/\1/p' "$prefix/cradle.log")
    [ -n "$url" ] && break
    sleep 0.2
done
served=$(curl -sS "$url/app/sw.js" || true)
kill "$cradle"
wait "$cradle" || true
[ "$served" = "$(cat "$prefix/share/kvcontrol/app/sw.js")" ] || fail "the installed kvcradle does not serve /app/"
echo "install ok: $(find "$prefix" -type f | wc -l) files"
