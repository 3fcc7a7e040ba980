# Sourced by the Windows scripts: where Qt for Windows and wine live, and the search path a
# Windows program of ARCH needs under wine (Qt's DLLs, the MinGW runtime).
# Usage: windows_env ARCH   (sets KZB_CACHE, KZB_QT_PREFIX, KZB_WINDOWS_PREFIXES, WINE,
# WINEPREFIX etc.)
# The installed Qt's Debian version ("6.4.2+dfsg-10"), and its upstream part ("6.4.2").
qt_debian_version() { dpkg-query -W -f='${Version}' qt6-base-dev; }
qt_version() { qt_debian_version | sed 's/[+-].*//'; }
# The Debian version of a library the Linux build links (kissfft, pcre2): its Windows build
# is made from the same source.
library_version() {
  case "$1" in
    kissfft) dpkg-query -W -f='${Version}' libkissfft-dev ;;
    pcre2) dpkg-query -W -f='${Version}' libpcre2-dev ;;
    libpq) dpkg-query -W -f='${Version}' libpq5 ;;
    # Qt's PostgreSQL driver, built from Qt's source against that libpq.
    qpsql) echo "$(qt_version)-libpq-$(dpkg-query -W -f='${Version}' libpq5)" ;;
  esac
}
# Where LIBRARY for Windows of ARCH is installed: keyed by that version.
library_prefix() {
  echo "${KZB_CACHE:-/var/cache/kzb7310}/$1-$(library_version "$1")-windows-$2"
}

windows_env() {
  local arch=$1 triple
  KZB_CACHE=${KZB_CACHE:-/var/cache/kzb7310}
  KZB_QT_PREFIX=$KZB_CACHE/qt-$(qt_version)-windows-$arch
  # libpq and Qt's PostgreSQL driver, for the line's database: the build puts them beside
  # the program, as the package does.
  KZB_LIBPQ_PREFIX=$(library_prefix libpq "$arch")
  KZB_QPSQL_PREFIX=$(library_prefix qpsql "$arch")
  # What CMake looks in for the libraries built for Windows: Qt, kissfft, pcre2, libpq and
  # Qt's PostgreSQL driver.
  KZB_WINDOWS_PREFIXES="$KZB_QT_PREFIX;$(library_prefix kissfft "$arch");$(library_prefix pcre2 "$arch");$KZB_LIBPQ_PREFIX;$KZB_QPSQL_PREFIX"
  case "$arch" in
    x86) triple=i686-w64-mingw32 WINE=/usr/lib/wine/wine WINEARCH=win32 ;;
    x64) triple=x86_64-w64-mingw32 WINE=/usr/lib/wine/wine64 WINEARCH=win64 ;;
  esac
  # The compiler's own runtime folder (12-posix on bookworm), read from the compiler.
  local runtime
  runtime=$(dirname "$("$triple-g++-posix" -print-libgcc-file-name)")
  KZB_MINGW_RUNTIME=("$runtime" "/usr/$triple/lib")
  # A prefix of the program's own architecture: a 32-bit Windows for the 32-bit program.
  export WINEPREFIX=$KZB_CACHE/wine-$arch WINEDEBUG=-all WINEARCH
  export KZB_WINEPATH="Z:$KZB_QT_PREFIX/bin;Z:${KZB_MINGW_RUNTIME[0]};Z:${KZB_MINGW_RUNTIME[1]}"
  export KZB_QT_PLUGINS="Z:$KZB_QT_PREFIX/plugins"
}

# True when this machine runs 32-bit programs (the kernel's IA-32 support, wine32's loader).
runs_32_bit() {
  "${WINE:-/usr/lib/wine/wine}" --version >/dev/null 2>&1
}

# Creates the wine prefix once, without the Mono and Gecko add-ons (whose install dialog
# would wait forever without a display), and shows wine the installed Noto CJK faces,
# since it has no CJK font of its own. Fails when the prefix was not made.
wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= "$WINE" wineboot -i >/dev/null 2>&1 || true
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine could not make $WINEPREFIX" >&2; return 1; }
  fi
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for f in /usr/share/fonts/opentype/noto/NotoSans*CJK*.ttc /usr/share/fonts/opentype/noto/NotoSerifCJK*.ttc; do
    [ -e "$f" ] && ln -sf "$f" "$fonts/"
  done
  return 0
}
