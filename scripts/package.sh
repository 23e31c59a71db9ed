#!/usr/bin/env bash
# Builds the Debian package of wiretally (the tool and its man page) from a release build, then shows its
# control fields and contents. The package is left in build-package/.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DWIRETALLY_BENCHMARKS=OFF >/dev/null
cmake --build build-package -j"$(nproc)" --target wiretally
rm -f build-package/wiretally_*.deb
(cd build-package && cpack -G DEB)

package=$(ls build-package/wiretally_*.deb)
dpkg-deb --info "$package"
dpkg-deb --contents "$package"
echo "Built $package"
