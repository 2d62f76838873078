#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built, as a Debian maintainer and a
# software centre would: lintian (no error, no warning), the menu entry, the AppStream
# metadata and the manual page, and that the package, its change log and its metadata
# name one version. Installs its tools when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
tools=(lintian desktop-file-validate appstreamcli man help2man)
for t in "${tools[@]}"; do
  command -v "$t" >/dev/null 2>&1 || { bash scripts/install-deps.sh; break; }
done
deb="$(ls build/release/multi-tolvanex_*.deb 2>/dev/null | head -n 1 || true)"
[ -n "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
failed=0
fail() {
  echo "FAILED: $*" >&2
  failed=1
}

echo "== lintian $(basename "$deb")"
# Errors and warnings fail the check, and so do info tags such as the hardening ones.
if ! lintian --fail-on error,warning,info --display-info "$deb"; then
  fail "lintian"
fi

echo "== desktop-file-validate"
for f in "$work"/usr/share/applications/*.desktop; do
  out="$(desktop-file-validate "$f" 2>&1)" || fail "desktop-file-validate $(basename "$f")"
  [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate $(basename "$f") reports"; }
done

echo "== appstreamcli validate --no-net"
meta=("$work"/usr/share/metainfo/*.metainfo.xml)
[ -f "${meta[0]}" ] || fail "no AppStream metadata in the package"
for f in "${meta[@]}"; do
  [ -f "$f" ] || continue
  appstreamcli validate --no-net "$f" || fail "appstreamcli validate $(basename "$f")"
  desktop="$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$f")"
  [ -f "$work/usr/share/applications/$desktop" ] ||
    fail "$(basename "$f") launches $desktop, which the package lacks"
done

echo "== man -l"
page="$work/usr/share/man/man1/multi_tolvanex.1.gz"
if [ ! -f "$page" ]; then
  fail "no manual page multi_tolvanex(1) in the package"
else
  # The same call lintian makes: any message of groff or man is a fault of the page.
  msgs="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)" ||
    fail "man -l cannot format the page"
  [ -z "$msgs" ] || { echo "$msgs"; fail "man -l reports"; }
  text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)" || true
  # Every option of --help stands in the page.
  for opt in $("$work/usr/bin/multi_tolvanex" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qF -- "$opt" <<<"$text" || fail "the manual page lacks $opt"
  done
  echo "$(basename "$page"): $(wc -l <<<"$text") lines"
fi

echo "== one version"
version="$(dpkg-deb -f "$deb" Version)"
changelog="$(zcat "$work/usr/share/doc/multi-tolvanex/changelog.gz" | head -n 1 |
             sed -n 's/^multi-tolvanex (\([^)]*\)).*/\1/p')"
release="$(grep -o '<release version="[^"]*"' "${meta[0]}" | head -n 1 | cut -d'"' -f2)"
program="$("$work/usr/bin/multi_tolvanex" --version | awk '{print $2}')"
echo "package $version, change log $changelog, metadata $release, program $program"
[ "$version" = "$changelog" ] || fail "the change log's newest entry is $changelog, not $version"
[ "$version" = "$release" ] || fail "the metadata's newest release is $release, not $version"
[ "$version" = "$program" ] || fail "the program says $program, not $version"

[ "$failed" -eq 0 ] || exit 1
echo "package checks clean"
