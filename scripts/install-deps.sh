#!/bin/sh
# Installs what building and testing need on a fresh Debian 12 machine (run as root):
# the mingw-w64 cross compilers for 32-bit Windows and (for the 64-bit Kestrix.dll) 64-bit
# Windows, Wine with its 32-bit side, and, where the kernel cannot run 32-bit Linux programs
# itself, user-mode emulation so that Wine's 32-bit loader still runs. Also clang with its
# sanitizer and fuzzer runtimes for the native build of the text readers; NSIS, wixl and Inno
# Setup for the installers that test the deliverables as clients would; llvm (llvm-dlltool) for
# the MSVC import libraries, zip for the release, osslsigncode and openssl for signing it, and
# busybox, whose web server serves the time stamps of the signing test; time (/usr/bin/time) for
# the peak memory the benchmarks report.
set -eu

# Inno Setup is not packaged for Debian: its own compiler and setup stubs (Windows programs, run
# under Wine) come from the npm registry's package "innosetup", pinned by version and hash, and
# go to INNO_DIR, where the build finds ISCC.exe.
INNO_VERSION=6.4.1
INNO_SHA256=fc36b763a729c8964416552d733f4864ac4a4934d0a6569e20c2feb4c29b9684
INNO_DIR=/opt/innosetup

. "$(dirname "$0")/install-deps-lib.sh"

need_install=0
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-dlltool \
    wine wineserver cmake ninja clang++ makensis wixl llvm-dlltool zip osslsigncode openssl \
    busybox; do
    command -v "$tool" >/dev/null 2>&1 || need_install=1
done
[ -x /usr/lib/wine/wine-preloader ] || need_install=1
[ -x /usr/bin/qemu-i386-static ] || need_install=1
[ -f /usr/lib/x86_64-linux-gnu/libgtest.a ] || need_install=1
[ -x /usr/bin/time ] || need_install=1
# Debian's npm (with its nodejs) only where there is no Node.js at all: a Node.js installed
# from elsewhere brings its own npm, and Debian's cannot be installed beside it.
npm_package=""
find_npm || npm_package=npm
[ -n "$npm_package" ] && need_install=1

if [ "$need_install" = 1 ]; then
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    update_package_index
    install_packages \
        cmake ninja-build g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 \
        g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 \
        wine wine32:i386 wine64 wine32-preloader:i386 wine64-preloader qemu-user-static \
        clang libclang-rt-14-dev libgtest-dev nsis wixl llvm zip osslsigncode openssl busybox \
        time $npm_package
    find_npm || die "npm is still missing after installing Debian's npm package"
fi

if [ "$(cat "$INNO_DIR/VERSION" 2>/dev/null)" != "$INNO_VERSION" ]; then
    work=$(mktemp -d)
    (cd "$work" && run_npm pack --silent "innosetup@$INNO_VERSION" >/dev/null)
    echo "$INNO_SHA256  $work/innosetup-$INNO_VERSION.tgz" | sha256sum -c --quiet
    tar -xzf "$work/innosetup-$INNO_VERSION.tgz" -C "$work"
    rm -rf "$INNO_DIR"
    mkdir -p "$(dirname "$INNO_DIR")"
    mv "$work/package/bin" "$INNO_DIR"
    echo "$INNO_VERSION" >"$INNO_DIR/VERSION"
    rm -rf "$work"
    echo "Inno Setup $INNO_VERSION in $INNO_DIR"
fi

# Wine's 32-bit half is an i386 Linux program. Some kernels are built without 32-bit support;
# there the i386 programs run through qemu's user-mode emulation, registered with binfmt_misc.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >"$binfmt/register"
    fi
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || {
        echo "this machine cannot run Wine's 32-bit loader" >&2
        exit 1
    }
    echo "i386 programs run through qemu-i386 (the kernel has no 32-bit support)"
fi
echo "toolchain and Wine ready"
