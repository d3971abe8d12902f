# Sourced by the measurements and by the Windows tests' runner: removes the folders a wineserver
# for a prefix leaves behind (its lock file in them): upstream's /tmp/.wine-UID, Debian's
# /run/user/UID/wine, else the folder of $TMPDIR or /tmp named in the prefix. Call it while the
# prefix still exists.
remove_server_folders() {
  local prefix=$1 id name base
  id=$(stat -c '%d %i' "$prefix" 2>/dev/null) || return 0
  id=$(printf 'server-%x-%x' $id)
  rm -rf "/tmp/.wine-$(id -u)/$id" "/run/user/$(id -u)/wine/$id"
  name=$(cat "$prefix/wineserver" 2>/dev/null) || return 0
  # Only a name as Wine makes it: never a path out of the temporary folder.
  case $name in */* | *..*) return 0 ;; wine-*) ;; *) return 0 ;; esac
  for base in "${TMPDIR:-/tmp}" /tmp; do
    rm -rf "${base:?}/$name/$id"
    rmdir "$base/$name" 2>/dev/null || true
  done
  return 0
}
