# Debian's source packages, fetched with an APT configuration of our own so
# that the machine's sources and lists stay as they are. Sourced by
# build-windows.sh, which sets $cache.
apt_dir="$cache/apt"

apt_setup() {
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  cat > "$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
EOF
  cat > "$apt_dir/apt.conf" <<EOF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/parts";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir/cache";
EOF
  # Refreshed once a day at most: the versions key the cache.
  if [ -z "$(find "$apt_dir/lists" -maxdepth 1 -name '*Sources*' -mtime -1 2>/dev/null)" ]; then
    APT_CONFIG="$apt_dir/apt.conf" apt-get -q update >&2
  fi
}

# The newest version of a source package the lists know.
source_version() {
  APT_CONFIG="$apt_dir/apt.conf" apt-cache showsrc "$1" 2>/dev/null |
    awk -v p="$1" '$1 == "Package:" { ours = ($2 == p) } ours && $1 == "Version:" { print $2 }' |
    sort -V | tail -1
}

# Unpacks PACKAGE=VERSION under $cache/src once; prints the folder.
fetch_source() {
  local package=$1 version=$2
  local upstream=${version#*:}
  upstream=${upstream%-*}
  local dir="$cache/src/$package-$upstream"
  if [ ! -f "$dir/.fetched" ]; then
    rm -rf "$dir"
    mkdir -p "$cache/src"
    (cd "$cache/src" && APT_CONFIG="$apt_dir/apt.conf" apt-get -q source "$package=$version" >&2)
    touch "$dir/.fetched"
  fi
  echo "$dir"
}
