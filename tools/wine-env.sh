# The Wine environment of one bitness; sourced by tools/wine-run, tools/demo,
# tools/register-servers and tests/wine/lib.sh.
#
# The bitness is $ZANDREL_WINE_ARCH: x64 (the default) or x86. Each has its own
# private prefix, build/wine/x64 and build/wine/x86 (or $ZANDREL_WINEPREFIX),
# and both prefixes are 64-bit Windows, as the IDE's users have:
#   x64  the 64-bit loader (wine64) runs every command, Wine's
#        own programs (reg, regsvr32, cscript, cmd) included, so they see the
#        64-bit registry view; the win64 build's servers are registered.
#   x86  the 32-bit loader (wine) runs every command, so Wine's
#        programs are the 32-bit ones and see the 32-bit view: what they write
#        under HKLM\SOFTWARE lands in HKLM\SOFTWARE\Wow6432Node, where the x86
#        add-in reads it, as on 64-bit Windows; the win32 build's servers are
#        registered there.
# Sets: zandrel_arch, zandrel_build (win64|win32), zandrel_bin (its bin
# folder), WINEPREFIX, WINEARCH, wine_loader (the one of the bitness),
# wine_loader32, wine_loader64, wine_server.
#
# `source tools/wine-env.sh --paths` sets only Wine's own paths
# (wine_loader32, wine_loader64, wine_server): the one place they are written.

wine_loader32=/usr/lib/wine/wine
wine_loader64=/usr/lib/wine/wine64
wine_server=/usr/lib/wine/wineserver
[ "${1:-}" != --paths ] || return 0

: "${root:?wine-env.sh needs \$root}"
zandrel_arch=${ZANDREL_WINE_ARCH:-x64}
case "$zandrel_arch" in
  x64) zandrel_build=win64 wine_loader=$wine_loader64 ;;
  x86) zandrel_build=win32 wine_loader=$wine_loader32 ;;
  *) echo "wine-env: ZANDREL_WINE_ARCH must be x64 or x86, not '$zandrel_arch'" >&2; return 2 ;;
esac
zandrel_bin="$root/build/$zandrel_build/bin"
export WINEPREFIX=${ZANDREL_WINEPREFIX:-$root/build/wine/$zandrel_arch}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export DISPLAY=
unset WAYLAND_DISPLAY WINELOADER
