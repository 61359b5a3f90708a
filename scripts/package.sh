#!/usr/bin/env bash
# Builds the Release Debian package of the rule manager with Debian's
# hardening flags, checks it with lintian and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVTRPRO_TESTS=OFF -DVTRPRO_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-package -j2
rm -f build-package/vtrpro_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/vtrpro_*.deb)
lintian --fail-on error "$deb"
echo "$deb"
