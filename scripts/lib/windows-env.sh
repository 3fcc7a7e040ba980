# Sourced by the Windows scripts: where Qt for Windows and wine live, and the search path a
# Windows program of ARCH needs under wine (Qt's DLLs, the MinGW runtime).
# Usage: windows_env ARCH   (sets KZB_CACHE, KZB_QT_PREFIX, and for x64 WINEPREFIX etc.)
windows_env() {
  local arch=$1 triple
  KZB_CACHE=${KZB_CACHE:-/var/cache/kzb7310}
  local version
  version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+-].*//')
  KZB_QT_PREFIX=$KZB_CACHE/qt-$version-windows-$arch
  case "$arch" in
    x86) triple=i686-w64-mingw32 ;;
    x64) triple=x86_64-w64-mingw32 ;;
  esac
  KZB_MINGW_RUNTIME=("/usr/lib/gcc/$triple/12-posix" "/usr/$triple/lib")
  export WINEPREFIX=$KZB_CACHE/wine-$arch WINEDEBUG=-all
  export KZB_WINEPATH="Z:$KZB_QT_PREFIX/bin;Z:${KZB_MINGW_RUNTIME[0]};Z:${KZB_MINGW_RUNTIME[1]}"
  export KZB_QT_PLUGINS="Z:$KZB_QT_PREFIX/plugins"
  WINE=/usr/lib/wine/wine64
}

# wine has no CJK font of its own: show it the installed Noto CJK faces.
wine_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  [ -d "$fonts" ] || { "$WINE" wineboot -i >/dev/null 2>&1 || true; }
  mkdir -p "$fonts"
  for f in /usr/share/fonts/opentype/noto/NotoSans*CJK*.ttc /usr/share/fonts/opentype/noto/NotoSerifCJK*.ttc; do
    [ -e "$f" ] && ln -sf "$f" "$fonts/"
  done
}
