# pkg.sh - the package register shared by pkgadd, pkginfo and pkgrm (sh, sourced).
#
# A registered package instance NAME is the directory /var/sadm/pkg/NAME holding the
# file "pkginfo" (lines KEY=VALUE: PKG, NAME, CATEGORY, VERSION, ...). Nothing else of
# a package is copied or removed. PLATFORM_ROOT, when set, is put before the path.
# Built-ins are used wherever they do the job: process starts are what these cost.

PKG_ROOT=${PLATFORM_ROOT-}
PKG_DIR=$PKG_ROOT/var/sadm/pkg

# An instance name: letters, digits, "+", "-", "." and "_", beginning with a letter or
# digit (so that no name reaches outside the register).
pkg_valid_name() {
    case $1 in
        '' | [!A-Za-z0-9]* | *[!A-Za-z0-9+._-]*) return 1 ;;
    esac
    return 0
}

pkg_registered() {
    pkg_valid_name "$1" && [ -f "$PKG_DIR/$1/pkginfo" ]
}

pkg_unquote() {
    case $1 in
        \"*\") pkg_value=${1#\"}; pkg_value=${pkg_value%\"} ;;
        *) pkg_value=$1 ;;
    esac
}

# Reads NAME, CATEGORY and VERSION of the pkginfo file $1 (the first of each, quotes
# removed) into info_name, info_category, info_version; a missing file gives empties.
pkg_read_info() {
    info_name="" info_category="" info_version=""
    [ -r "$1" ] || return 0
    while IFS= read -r pkg_line || [ -n "$pkg_line" ]; do
        case $pkg_line in
            NAME=*) [ -n "$info_name" ] || { pkg_unquote "${pkg_line#NAME=}"; info_name=$pkg_value; } ;;
            CATEGORY=*) [ -n "$info_category" ] || { pkg_unquote "${pkg_line#CATEGORY=}"; info_category=$pkg_value; } ;;
            VERSION=*) [ -n "$info_version" ] || { pkg_unquote "${pkg_line#VERSION=}"; info_version=$pkg_value; } ;;
        esac
    done <"$1"
}

# PLATFORM_PKGADD_STATUS / PLATFORM_PKGRM_STATUS let a test choose the outcome: 0 (the
# default), 10 or 20 (success that asks for a reboot) run normally and exit with it;
# any other number fails at once with it, changing nothing.
pkg_wanted_status() {
    case $1 in
        '') pkg_status=0 ;;
        *[!0-9]*) pkg_status=1 ;;
        *) pkg_status=$1 ;;
    esac
}
