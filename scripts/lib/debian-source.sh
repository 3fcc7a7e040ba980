# Sourced by the scripts that build a library for Windows from Debian's own source: fetches
# Debian's source archives through a private apt folder in the cache (the machine's own
# package lists stay as they are).
# Usage: debian_source PACKAGE[=VERSION] FOLDER   (needs $cache; the unpacked tree in FOLDER)
apt_dir=$cache/apt
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
debian_source() {  # PACKAGE[=VERSION] FOLDER: the unpacked source tree in FOLDER
  [ -d "$2" ] && return 0
  if [ ! -d "$apt_dir/lists" ] || [ -z "$(ls "$apt_dir/lists" | grep -v partial)" ]; then
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
    . /etc/os-release
    sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources | head -n 1 |
      xargs -I{} echo "deb-src {} $VERSION_CODENAME main" >"$apt_dir/sources.list"
    apt-get "${apt_options[@]}" update -qq >&2
  fi
  mkdir -p "$cache/src"
  local work
  work=$(mktemp -d "$cache/src/fetch.XXXXXX")
  (cd "$work" && apt-get "${apt_options[@]}" source -qq "$1" >&2)
  mv "$work"/*/ "$2"
  rm -rf "$work"
}
