#!/bin/sh
# Builds the Debian package from a build folder into a fresh folder, once
# for the tests that install it (cli_package and editors).
# Usage: package-build.sh BUILD_DIR PACKAGE_DIR
set -eu
rm -rf "$2"
cpack --config "$1/CPackConfig.cmake" -G DEB -B "$2"
