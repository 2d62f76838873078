#!/usr/bin/env bash
# Builds the Debian package from the release build (scripts/build.sh release first) and checks
# that it holds the program, its manual page, the menu entry, the icon, the software-centre
# metadata, the device rule and the package's own documents. scripts/check-package.sh then
# checks the package as Debian's tools do.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/release/CPackConfig.cmake ] || bash scripts/build.sh release
cmake --build build/release -j "$(nproc)" --target multi_tolvanex multi_tolvanex_windows manpage changelog >/dev/null
rm -f build/release/multi-tolvanex_*.deb
(cd build/release && cpack -G DEB >/dev/null)
deb="$(ls build/release/multi-tolvanex_*.deb)"
list="$(dpkg-deb -c "$deb")"
missing=0
for f in ./usr/bin/multi_tolvanex ./usr/libexec/multi_tolvanex/multi_tolvanex \
         ./usr/share/man/man1/multi_tolvanex.1.gz \
         ./usr/share/applications/multi_tolvanex.desktop \
         ./usr/share/icons/hicolor/scalable/apps/multi_tolvanex.svg \
         ./usr/share/metainfo/io.github.multi_tolvanex.multi_tolvanex.metainfo.xml \
         ./usr/lib/udev/rules.d/70-multi-tolvanex-ftdi.rules \
         ./usr/share/doc/multi-tolvanex/copyright \
         ./usr/share/doc/multi-tolvanex/changelog.gz \
         ./usr/share/lintian/overrides/multi-tolvanex; do
  if ! grep -q " $f\$" <<<"$list"; then
    echo "package lacks $f" >&2
    missing=1
  fi
done
if grep -qE 'standin|libftd2xx|libftdi1\.so|\.a$|/include/' <<<"$list"; then
  echo "package holds test or build files:" >&2
  grep -E 'standin|libftd2xx|libftdi1\.so|\.a$|/include/' <<<"$list" >&2
  missing=1
fi
[ "$missing" -eq 0 ] || exit 1
dpkg-deb -f "$deb" Package Version Depends Recommends
echo "$(basename "$deb"): program, manual page, menu entry, icon, metadata, device rule and documents present"
