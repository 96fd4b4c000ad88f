#!/usr/bin/env bash
# Builds one installer of the x86 add-in with wixl:
#   installer/build-msi.sh VERSION machine|user BIN-DIR STRIP OUT.msi [FILES-DIR]
# The files are copied from BIN-DIR (the win32 build) and stripped of their
# debugging information first; with a certificate (tools/sign) they are
# signed, and so is the installer; without one, one line says that they are
# not. FILES-DIR, when given, receives the files as the installer holds them. The class, type library and interface
# identifiers come from the type library's source, the ProgID, the settings
# key and the support log mask from src/shared/names.h (both through
# tools/idl-ids). Then what
# wixl cannot say is put into the
# tables with msibuild: the empty "Programmable" key of the class (created on
# install, removed on uninstall) and the condition that lowers the level of
# the support-log feature to the default install level when SUPPORTLOG is
# given (a feature above that level is not installed otherwise), and the
# conditions that write each of its settings values only where it is the
# installer's: missing, or equal to the value its mark records (the mark is
# written with the value, under the installer's own key; a mark that records
# another value than the one present, left by a removal that skipped the
# uninstall, or one of the earlier form "written", makes nothing ours).
# Where the values present are the installer's, SUPPORTLOG defaults to the
# path its mark records and the feature stays: an upgrade or a repair without
# the option writes the same values again. (Windows Installer carries the
# feature over to an upgrade anyway, MigrateFeatureStates, and repairs a
# component without looking at its condition again; Wine showed neither
# here. Without the default both would write an empty DebugOutputFile.)
# Windows Installer evaluates a component's condition when it installs it;
# Wine's evaluates it again at the uninstall (REMOVE=ALL) and removes the
# values of every component whose condition holds then, installed or not.
# Under Wine a value someone else wrote since the install is therefore left;
# Windows Installer removes it with the installed component (the README says
# so, and how to change the settings of such a machine).
set -euo pipefail
version=$1 scope=$2 bin=$3 strip=$4 out=$5 files=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$bin/zandrel.dll" "$bin/zandrel-doctor.exe" "$stage/"
"$strip" --strip-debug "$stage/zandrel.dll" "$stage/zandrel-doctor.exe"
if [ -z "${ZANDREL_SIGN_PFX:-}" ]; then
  echo "build-msi: unsigned (no certificate: ZANDREL_SIGN_PFX): $(basename "$out") and the files in it"
else
  "$here/../tools/sign" "$stage/zandrel.dll" "$stage/zandrel-doctor.exe" >/dev/null
fi
if [ -n "$files" ]; then
  mkdir -p "$files"
  cp "$stage/zandrel.dll" "$stage/zandrel-doctor.exe" "$files/"
fi
case $scope in
  machine) root=2 ;;
  user) root=1 ;;
  *) echo "build-msi: the scope is machine or user, not '$scope'" >&2; exit 2 ;;
esac
rm -f "$out"
ids=$("$here/../tools/idl-ids")
clsid=$(sed -n 's/^CLSID=//p' <<<"$ids")
libid=$(sed -n 's/^LIBID=//p' <<<"$ids")
iid=$(sed -n 's/^IID=//p' <<<"$ids")
progid=$(sed -n 's/^PROGID=//p' <<<"$ids")
settings=$(sed -n 's/^SETTINGS_KEY=//p' <<<"$ids")
mask=$(($(sed -n 's/^SUPPORT_MASK=//p' <<<"$ids")))  # wixl takes the integer in decimal
# wixl reads the sources relative to where it runs; its warnings about
# properties it does not know are expected (the rows are made below).
(cd "$stage" && wixl -a x86 -D Version="$version" -D Scope="$scope" -D Clsid="$clsid" -D Libid="$libid" -D Iid="$iid" \
  -D ProgId="$progid" -D SettingsKey="$settings" -D SupportMask="$mask" -o "$stage/out.msi" "$here/zandrel.wxs" 2> "$stage/wixl.err") || {
  cat "$stage/wixl.err" >&2
  exit 1
}
queries=("INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`) VALUES ('regProgrammable', $root, 'Software\\Classes\\CLSID\\$clsid\\Programmable', '*', 'AddIn')")
# A settings value present is the installer's where its mark holds the same.
debug_ours='(DEBUGBEFORE AND DEBUGBEFORE = DEBUGWRITTEN)'
output_ours='(OUTPUTBEFORE AND OUTPUTBEFORE = OUTPUTWRITTEN)'
[ "$scope" != machine ] || queries+=(
  "CREATE TABLE \`Condition\` (\`Feature_\` CHAR(38) NOT NULL, \`Level\` SHORT NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`Feature_\`, \`Level\`)"
  "INSERT INTO \`Condition\` (\`Feature_\`, \`Level\`, \`Condition\`) VALUES ('SupportLog', 1, 'SUPPORTLOG OR $debug_ours')"
  "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('SupportLogKept', 51, 'SUPPORTLOG', '[OUTPUTWRITTEN]')"
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('SupportLogKept', 'NOT SUPPORTLOG AND $output_ours', 51)"
  "INSERT INTO \`InstallUISequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('SupportLogKept', 'NOT SUPPORTLOG AND $output_ours', 51)"
  "UPDATE \`Component\` SET \`Condition\` = 'NOT DEBUGBEFORE OR $debug_ours' WHERE \`Component\` = 'SupportDebug'"
  "UPDATE \`Component\` SET \`Condition\` = '(SUPPORTLOG OR REMOVE) AND (NOT OUTPUTBEFORE OR $output_ours)' WHERE \`Component\` = 'SupportOutput'")
for q in "${queries[@]}"; do msibuild "$stage/out.msi" -q "$q"; done
[ -z "${ZANDREL_SIGN_PFX:-}" ] || "$here/../tools/sign" "$stage/out.msi" >/dev/null
mv "$stage/out.msi" "$out"
