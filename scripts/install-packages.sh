# Sourced by the scripts that set up a fresh machine.
# install_packages PKG...: installs the Debian packages given (none: nothing to do).
install_packages() {
  [ $# -gt 0 ] || return 0
  echo "Installing: $*"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$@"
}
