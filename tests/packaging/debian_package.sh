#!/usr/bin/env bash
# The Debian package as a Debian maintainer would review it: its Depends
# (computed by the package build) names libexpat1, the installed quorvex
# loads Debian's libexpat.so.1 while OpenSSL stays built in, the changelog
# names the OpenSSL version that --version names, and lintian finds no
# error and no warning.
#
#     debian_package.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=1; }

# The package of this build, made in a folder of its own.
if ! (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" -D CPACK_OUTPUT_FILE_PREFIX="$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log"
  echo "FAILED: cpack"
  exit 1
fi
deb=$(ls "$work"/out/quorvex_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAILED: cpack made no package"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -Eq '(^|, )libexpat1 \(>= [^)]+\)' <<< "$depends" || fail "Depends names no libexpat1 (>= VERSION)"
grep -Eq '(^|, )libc6 \(>= [^)]+\)' <<< "$depends" || fail "Depends names no libc6 (>= VERSION)"
grep -q 'libssl' <<< "$depends" && fail "Depends names libssl: OpenSSL is to be built in"

dpkg-deb -x "$deb" "$work/root"
program=$work/root/usr/bin/quorvex
libraries=$(ldd "$program")
grep -q 'libexpat\.so\.1 => /' <<< "$libraries" || fail "quorvex does not load libexpat.so.1: $libraries"
grep -Eq 'lib(ssl|crypto)\.so' <<< "$libraries" && fail "quorvex loads a shared OpenSSL: $libraries"

# --version names the OpenSSL built in; the changelog records it.
openssl=$("$program" --version | sed -n 's/^TLS library: OpenSSL \([0-9][0-9.a-z]*\) .*/\1/p')
[ -n "$openssl" ] || fail "--version names no OpenSSL version"
zcat "$work/root/usr/share/doc/quorvex/changelog.Debian.gz" | grep -q "Built with OpenSSL $openssl " ||
  fail "the changelog does not record OpenSSL $openssl"

# lintian: no error, no warning (overrides, each with its reason, are in
# the package's own files).
lintian --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1
status=$?
cat "$work/lintian.log"
grep -Eq '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
[ $status -eq 0 ] || fail "lintian ended with status $status"

[ "$failures" = 0 ] && echo "debian package: ok" || echo "debian package: FAILED"
exit "$failures"
