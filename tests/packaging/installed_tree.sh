#!/usr/bin/env bash
# What `cmake --install` puts in place: the programs, the manual pages
# (rendered by man and groff without a warning), the bash completion
# (driven in a bash session), the README and the examples; with
# "hardened", the programs' hardening as Debian's own packages have it.
#
#     installed_tree.sh BUILD_DIR SOURCE_DIR [hardened]
set -uo pipefail
build=$1
source=$(cd "$2" && pwd)
hardened=${3:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=1; }

cmake --install "$build" --prefix "$prefix/usr" > /dev/null || { echo "FAILED: cmake --install"; exit 1; }

expected=$(
  {
    printf '%s\n' usr/bin/quorvex usr/bin/mpsim usr/bin/quorvex-fleet \
      usr/share/man/man1/quorvex.1.gz usr/share/man/man1/mpsim.1.gz usr/share/man/man1/quorvex-fleet.1.gz \
      usr/share/bash-completion/completions/quorvex usr/share/bash-completion/completions/mpsim \
      usr/share/bash-completion/completions/quorvex-fleet \
      usr/share/doc/quorvex/README.md usr/share/doc/quorvex/copyright usr/share/doc/quorvex/changelog.Debian.gz \
      usr/share/doc/quorvex/run-report.schema.json usr/share/lintian/overrides/quorvex
    (cd "$source" && find examples -type f | sed 's|^|usr/share/doc/quorvex/|')
    # The Ansible collection's tarball, as the build made it.
    (cd "$build" && find ansible -maxdepth 1 -name 'quorvex-moxcl-*.tar.gz' | sed 's|^|usr/share/quorvex/|')
  } | sort)
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
if [ "$installed" != "$expected" ]; then
  fail "installed files differ from the expected list:"
  diff <(echo "$expected") <(echo "$installed")
fi
for program in quorvex mpsim quorvex-fleet; do
  [ -x "$prefix/usr/bin/$program" ] || fail "$program is not executable"
done

# Every manual page renders without a warning, through man and through
# groff with every warning on.
for page in "$prefix"/usr/share/man/man1/*.1.gz; do
  name=${page##*/}
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $name warns: $warnings"
  warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -ww -t -man -Tutf8 -z 2>&1)
  [ -z "$warnings" ] || fail "groff -ww $name warns: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^EXIT STATUS' || fail "$name has no EXIT STATUS"
done
# quorvex(1)'s exit-status table is the README's: every status row of it.
page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/usr/share/man/man1/quorvex.1.gz" 2>/dev/null)
while IFS= read -r status; do
  pattern=$(sed 's/[][().*+?^$\\|{}]/\\&/g' <<< "$status")
  grep -Eq "^ +$pattern +[a-zA-Z]" <<< "$page" || fail "status '$status' of the README is not in quorvex(1)"
done < <(sed -n '/^## Exit status/,/^## /p' "$source/README.md" | sed -n 's/^| \([^|]*[^ ]\) | .*/\1/p' | grep -vx status)

# The installed programs run.
"$prefix/usr/bin/quorvex" | grep -q '^Usage' || fail "quorvex prints no usage"
"$prefix/usr/bin/quorvex-fleet" --help | grep -q '^Usage' || fail "quorvex-fleet --help prints no usage"
"$prefix/usr/bin/mpsim" --help 2>&1 | grep -q '^usage' || fail "mpsim --help prints no usage"

# Neither program reads an OpenSSL configuration: one named by
# OPENSSL_CONF that would load a module from outside and leave TLS no
# algorithm to use changes nothing for a run against the simulator.
cat > "$prefix/outside.cnf" <<EOF
openssl_conf = init
[init]
alg_section = algorithms
providers = providers
[algorithms]
default_properties = fips=yes
[providers]
default = default_provider
outside = outside_provider
[default_provider]
activate = 1
[outside_provider]
module = $prefix/outside-module.so
activate = 1
EOF
printf '<?xml version="1.0"?>\n<MOXCL VERSION="2.0">\n</MOXCL>\n' > "$prefix/empty.xml"
(cd "$prefix" && OPENSSL_CONF="$prefix/outside.cnf" python3 "$source/sim/launch.py" "$prefix/usr/bin/mpsim" \
   --generation http -- "$prefix/usr/bin/quorvex" -s "127.0.0.1:{port}" -l run.log -f empty.xml > /dev/null 2>&1) ||
  fail "with OPENSSL_CONF naming a configuration, mpsim and quorvex did not run a script"
grep -q 'Script succeeded on' "$prefix/run.log" 2>/dev/null || fail "with OPENSSL_CONF, the run's log shows no success"
rm -f "$prefix/outside.cnf" "$prefix/empty.xml" "$prefix/run.log"

# Hardening: a position-independent program with read-only relocations
# bound at start-up, the stack protector, and the C library's checked
# calls (the fortified ones end in _chk).
if [ "$hardened" = hardened ]; then
  for program in quorvex mpsim; do
    binary=$prefix/usr/bin/$program
    LC_ALL=C readelf -h "$binary" | grep -q 'Type: *DYN' || fail "$program is not position-independent"
    LC_ALL=C readelf -l "$binary" | grep -q 'GNU_RELRO' || fail "$program has no read-only relocations"
    LC_ALL=C readelf -d "$binary" | grep -q 'BIND_NOW' || fail "$program does not bind at start-up"
    symbols=$(LC_ALL=C readelf --dyn-syms -W "$binary")
    grep -q '__stack_chk_fail' <<< "$symbols" || fail "$program has no stack protector"
    grep -Eq '__[a-z_]+_chk' <<< "$symbols" || fail "$program calls no fortified function"
  done
fi

"$source/tests/packaging/completion_in_bash.sh" "$prefix/usr/share" || failures=1

[ "$failures" = 0 ] && echo "installed tree: ok" || echo "installed tree: FAILED"
exit "$failures"
