#!/bin/sh
# Installs the toolchain and Wine, builds everything, and runs every test under Wine.
set -eu
. "$(dirname "$0")/common.sh"
sh "$root/scripts/install-deps.sh"
configure_and_build
cd "$root"
ctest --preset default
