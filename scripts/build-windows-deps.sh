#!/usr/bin/env bash
# Builds the libraries the Windows build links, as static x86_64-w64-mingw32 libraries:
# libjpeg-turbo, libogg and libvorbis from Debian's own source packages, GoogleTest from the
# sources Debian ships in /usr/src/googletest.
#
#   build-windows-deps.sh DEPS_DIR TOOLCHAIN_FILE
#
# Everything lands in DEPS_DIR/prefix. A stamp per library records the source version it was
# built from, so a warm run rebuilds nothing and asks apt for nothing.
set -euo pipefail

deps=$(realpath -m "$1")
toolchain=$(realpath "$2")
prefix=$deps/prefix
mkdir -p "$deps/src" "$prefix"

log() { echo "windows-deps: $*"; }

# A library is current when its stamp names the version at hand.
current() { [ -f "$deps/$1.stamp" ] && [ "$(cat "$deps/$1.stamp")" = "$2" ]; }

# A fresh clone (CI) still finds the objects in the compiler cache.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

cmake_build() {  # name source-dir extra-cmake-args...
  local name=$1 source=$2
  shift 2
  rm -rf "$deps/build-$name"
  cmake -S "$source" -B "$deps/build-$name" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVESICLAR_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON "${launcher[@]}" "$@" >"$deps/build-$name.log" 2>&1 ||
    { tail -30 "$deps/build-$name.log"; return 1; }
  cmake --build "$deps/build-$name" --target install >>"$deps/build-$name.log" 2>&1 ||
    { tail -30 "$deps/build-$name.log"; return 1; }
  rm -rf "$deps/build-$name"
}

# ---- Debian source packages -------------------------------------------------------------------
# apt-get source needs a deb-src entry. It is written beside the build, named to apt for these
# calls only (with a private list folder), and removed again: the system's apt setup is untouched.
apt_dir=$deps/apt
fetched_any=false
fetch_source() {  # package -> source_dir, the unpacked source folder
  local package=$1 found
  found=$(find "$deps/src" -maxdepth 1 -type d -name "$package-*" | sort | tail -1)
  if [ -z "$found" ]; then
    if ! $fetched_any; then
      mkdir -p "$apt_dir/lists/partial"
      trap 'rm -f "$apt_dir/deb-src.list"' EXIT
      if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        awk '/^URIs:/{u=$2} /^Suites:/{for(i=2;i<=NF;i++) s[n++]=$i}
             /^$/{for(i=0;i<n;i++) print "deb-src " u " " s[i] " main"; n=0}
             END{for(i=0;i<n;i++) print "deb-src " u " " s[i] " main"}' \
          /etc/apt/sources.list.d/debian.sources >"$apt_dir/deb-src.list"
      else
        grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$apt_dir/deb-src.list"
      fi
      apt_options=(-o "Dir::Etc::sourcelist=$apt_dir/deb-src.list" -o "Dir::Etc::sourceparts=-"
                   -o "Dir::State::Lists=$apt_dir/lists" -o "APT::Get::List-Cleanup=0")
      log "reading Debian's source index"
      apt-get -qq "${apt_options[@]}" update
      fetched_any=true
    fi
    log "fetching the source package $package"
    (cd "$deps/src" && apt-get -qq "${apt_options[@]}" source "$package" >/dev/null 2>&1) ||
      { log "apt-get source $package failed"; return 1; }
    rm -f "$deps/src/"*.dsc "$deps/src/"*.tar.* 2>/dev/null || true
    found=$(find "$deps/src" -maxdepth 1 -type d -name "$package-*" | sort | tail -1)
  fi
  source_dir=$found
}

# Each library's licence goes beside it: the setup program ships them with the screensaver, which
# holds the libraries linked in.
keep_licences() {  # package files-of-its-source...
  local package=$1
  shift
  mkdir -p "$prefix/share/licenses/$package"
  (cd "$source_dir" && cp "$@" "$prefix/share/licenses/$package/")
}

build_source_package() {  # package extra-cmake-args...
  local package=$1 version
  shift
  fetch_source "$package"
  case $package in
    libjpeg-turbo) keep_licences "$package" LICENSE.md README.ijg ;;
    *) keep_licences "$package" COPYING ;;
  esac
  version=$(basename "$source_dir")
  if current "$package" "$version"; then
    return 0
  fi
  log "building $version"
  cmake_build "$package" "$source_dir" "$@"
  echo "$version" >"$deps/$package.stamp"
}

# libjpeg-turbo's own CMake build (the SIMD parts assemble with nasm); API 62 like Debian's.
build_source_package libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
build_source_package libogg -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
build_source_package libvorbis -DBUILD_TESTING=OFF

# ---- GoogleTest --------------------------------------------------------------------------------
gtest_version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)
if ! current googletest "$gtest_version"; then
  log "building GoogleTest $gtest_version"
  cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  echo "$gtest_version" >"$deps/googletest.stamp"
fi
log "ready in $prefix"
