#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the library's version and SONAME, the
# headers, tool and man page, then builds and runs the host with CMake and with pkg-config.
# Usage: install_test.sh BUILD_DIR HOST_SOURCE_DIR CXX VERSION [HOST_FLAGS (compile and link)]
set -euo pipefail
build=$1 host_source=$2 cxx=$3 version=$4 host_flags=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log"
libdir=$(cd "$prefix" && ls -d lib*/libquorvel.so | xargs dirname)
[ -n "$libdir" ] || fail "no libquorvel.so installed"
major=${version%%.*}
[ "$(readlink "$prefix/$libdir/libquorvel.so.$major")" = "libquorvel.so.$version" ] ||
  fail "libquorvel.so.$major does not name libquorvel.so.$version"
readelf -d "$prefix/$libdir/libquorvel.so" | grep -q "SONAME.*\[libquorvel.so.$major\]" ||
  fail "the SONAME is not libquorvel.so.$major"
# The headers, the CMake package and pkg-config's file show below, as the hosts build.
for file in bin/quorvel-core share/man/man1/quorvel.1; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
grep -q "^#define QUORVEL_VERSION_STRING \"$version\"$" "$prefix/include/quorvel/Version.h" ||
  fail "Version.h does not say $version"
[ "$("$prefix/bin/quorvel" --version)" = "quorvel $version" ] || fail "quorvel --version"

mkdir "$work/mime"
check_host() {  # how it was built, the host program
  local how=$1 host=$2 out
  out=$("$host" "$work/mime") || fail "$how: the host failed"
  [ "$out" = "Quorvel $version
settings stored: 1, error 0 ()" ] || fail "$how: the host printed: $out"
  if out=$("$host" "$work/missing"); then fail "$how: a missing MIME directory was accepted"; fi
  [ "${out##*$'\n'}" = "settings stored: 0, error 32770 (No Directory existing)" ] ||
    fail "$how: the host printed: $out"
  echo "$how: the host builds and runs"
}

cmake -S "$host_source" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$host_flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$host_flags" >"$work/configure.log"
cmake --build "$work/cmake-host" >"$work/build.log"
check_host "find_package(Quorvel)" "$work/cmake-host/host"

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion quorvel)" = "$version" ] || fail "pkg-config --modversion quorvel"
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++17 $host_flags "$host_source/host.cpp" -o "$work/pkg-config-host" \
  $(pkg-config --cflags --libs quorvel) -Wl,-rpath,"$prefix/$libdir"
check_host "pkg-config quorvel" "$work/pkg-config-host"
