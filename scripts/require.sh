# Sourced by the scripts: `require_program PROGRAM PACKAGE` stops the script
# at once, naming the Debian package to install, when PROGRAM is missing.
require_program() {
  command -v "$1" >/dev/null 2>&1 && return 0
  echo "$(basename "$0"): '$1' is missing: install the Debian package '$2'" \
    "(scripts/install-deps installs everything the build and the tests need)" >&2
  exit 1
}
