# libmodbus's source, of the version Debian installed, for building its TCP
# client for Windows: the benchmark measures it under Wine beside the
# driver, each paying the same Winsock. scripts/setup fetches it here; the
# Windows configuration builds from here.
libmodbus_source=/var/cache/korvel/libmodbus

# Through apt's own lists in a folder of its own, so that the machine's
# package sources stay as they are.
fetch_libmodbus_source() {
  local version work
  version=$(dpkg-query -W -f '${Version}' libmodbus-dev)
  [ "$(cat "$libmodbus_source/.version" 2>/dev/null)" = "$version" ] && return 0
  echo "setup: fetching libmodbus $version source"
  work=$(mktemp -d)
  mkdir -p "$work/parts" "$work/lists/partial"
  cat >"$work/parts/debian.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  local apt=(apt-get -qq -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/parts"
    -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root)
  local fetched=1
  if "${apt[@]}" update && (cd "$work" && "${apt[@]}" source "libmodbus-dev=$version" >/dev/null); then
    rm -rf "$libmodbus_source"
    mkdir -p "$(dirname "$libmodbus_source")"
    mv "$work"/libmodbus-*/ "$libmodbus_source" && echo "$version" >"$libmodbus_source/.version" && fetched=0
  fi
  rm -rf "$work"
  return $fetched
}
