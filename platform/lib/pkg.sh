# pkg.sh - the package register shared by pkgadd, pkginfo and pkgrm (sourced, not run).
#
# A registered package instance NAME is the directory /var/sadm/pkg/NAME holding the
# file "pkginfo" (lines KEY=VALUE: PKG, NAME, CATEGORY, VERSION, ...). Nothing else of
# a package is copied or removed. PLATFORM_ROOT, when set, is put before the path.

PKG_ROOT=${PLATFORM_ROOT-}
PKG_DIR=$PKG_ROOT/var/sadm/pkg

# An instance name: letters, digits, "+", "-", "." and "_", beginning with a letter or
# digit (so that no name reaches outside the register).
pkg_valid_name() {
    case $1 in
        ''|[!A-Za-z0-9]*|*[!A-Za-z0-9+._-]*) return 1 ;;
    esac
    return 0
}

pkg_registered() {
    pkg_valid_name "$1" && [ -f "$PKG_DIR/$1/pkginfo" ]
}

# The value of KEY in the pkginfo file $1 (first occurrence, quotes removed).
pkg_field() {
    sed -n "s/^$2=//p" "$1" 2>/dev/null | head -n 1 | sed 's/^"\(.*\)"$/\1/'
}

# PLATFORM_<TOOL>_STATUS lets a test choose the outcome of pkgadd or pkgrm: 0 (the
# default), 10 or 20 (success that asks for a reboot) run normally and exit with it;
# any other number fails at once with it, changing nothing.
pkg_wanted_status() {
    case $1 in
        '') echo 0 ;;
        *[!0-9]*) echo 1 ;;
        *) echo "$1" ;;
    esac
}
