#!/usr/bin/env bash
# Makes the Windows packages of quorvex.exe from one staged folder:
#   OUTDIR/quorvex-VERSION-x64.msi          the installer (wixl, msibuild)
#   OUTDIR/quorvex-VERSION-windows-x64.zip  the same files, to copy by hand
#
#     make_packages.sh SOURCE_DIR PROGRAM VERSION PRODUCT_CODE OUTDIR
#
# VERSION is the project's (a.b or a.b.c); the installer's version has three
# parts. PRODUCT_CODE belongs to VERSION alone, so the same version built
# twice is one product, never two installed side by side.
set -euo pipefail
source_dir=$1 program=$2 version=$3 product_code=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
# Absolute names: wixl and zip run in other folders.
mkdir -p "$out"
out=$(cd "$out" && pwd)
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")

msi_version=$version
while [ "$(tr -cd . <<<"$msi_version" | wc -c)" -lt 2 ]; do msi_version+=.0; done
name=quorvex-$version
stage=$out/stage/$name
msi=$out/$name-x64.msi
zip=$out/$name-windows-x64.zip

rm -rf "$out/stage" "$msi" "$zip"
mkdir -p "$stage/examples"
cp "$program" "$stage/quorvex.exe"
cp "$source_dir/README.md" "$stage/"
# The note with CR LF line ends, for every Windows editor.
sed 's/$/\r/' "$here/WINDOWS.txt" > "$stage/WINDOWS.txt"
cp "$source_dir"/examples/* "$stage/examples/"
# The same bytes from the same files: fixed times and modes (the MSI takes
# its sizes and versions, the zip its times and modes from here).
chmod 0755 "$stage" "$stage/examples"
find "$stage" -type f -exec chmod 0644 {} +
find "$stage" -exec touch -h -d '1980-01-01 00:00:00 UTC' {} +

# wixl takes the files' names relative to the current folder.
(cd "$stage" && wixl --arch x64 -D Version="$msi_version" -D ProductCode="$product_code" \
   -o "$msi.new" "$here/quorvex.wxs")
# wixl has no Environment element: the PATH entry is a table of its own,
# written and removed with the component that holds quorvex.exe.
(cd "$here" && msibuild "$msi.new" -i path_entry.idt \
   -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)" \
   -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)")
mv "$msi.new" "$msi"

(cd "$out/stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip.new" -@)
mv "$zip.new" "$zip"
