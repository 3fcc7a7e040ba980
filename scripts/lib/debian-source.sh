# Sourced by the scripts that build a library for Windows from Debian's own source: fetches
# Debian's source archives through a private apt folder in the cache (the machine's own
# package lists stay as they are).
# Usage: debian_source PACKAGE[=VERSION] FOLDER   (needs $cache; the unpacked tree in FOLDER)
apt_dir=$cache/apt
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives")
debian_source() {  # PACKAGE[=VERSION] FOLDER: the unpacked source tree in FOLDER
  [ -d "$2" ] && return 0
  # The source of every archive the machine installs from (the point release, its updates
  # and the security archive), so a library at a security version has its source too.
  local wanted
  wanted=$(awk '/^URIs:/ {uri = $2} /^Suites:/ {for (i = 2; i <= NF; i++) print "deb-src " uri " " $i " main"}' \
    /etc/apt/sources.list.d/debian.sources)
  if [ ! -d "$apt_dir/lists" ] || [ -z "$(ls "$apt_dir/lists" | grep -v partial)" ] ||
    [ "$(cat "$apt_dir/sources.list" 2>/dev/null)" != "$wanted" ]; then
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
    echo "$wanted" >"$apt_dir/sources.list"
    apt-get "${apt_options[@]}" update -qq >&2
  fi
  mkdir -p "$cache/src"
  local work
  work=$(mktemp -d "$cache/src/fetch.XXXXXX")
  if ! (cd "$work" && apt-get "${apt_options[@]}" source -qq "$1" >&2); then
    # A mirror may list a security version's source without serving it: the newest earlier
    # Debian version of the same upstream release that it does serve is taken, said loudly.
    local package=${1%%=*} upstream version
    upstream=$(sed 's/^.*=//; s/-[^-]*$//' <<<"$1")
    for version in $(apt-cache "${apt_options[@]}" showsrc "$package" | sed -n 's/^Version: //p' |
      sort -rV | grep -F "$upstream-"); do
      [ "$package=$version" = "$1" ] && continue
      rm -rf "${work:?}"/*
      if (cd "$work" && apt-get "${apt_options[@]}" source -qq "$package=$version" >&2); then
        echo "debian-source: !!! the source of $1 could not be fetched: built from $version" >&2
        break
      fi
    done
  fi
  mv "$work"/*/ "$2"
  rm -rf "$work"
}
