# floppy.sh - the simulated diskette drive shared by eject and volcheck (sourced, not run).
#
# The drive is a set of directories under /var/lib/floppy-sim:
#   queue/NAME    diskettes waiting to be inserted, taken in numeric order of NAME
#   drive/NAME    the diskette in the drive (at most one)
#   ejected/NAME  diskettes taken out of the drive, kept for inspection
#   busy          while present, eject fails; a number in it counts the failures left
# A mounted diskette is shown as the symbolic link /floppy/floppy0 -> drive/NAME.
# The simulated operator is always ready: when the drive is empty and a program looks
# at it (eject -q, volcheck), the next diskette of the queue is inserted.
# PLATFORM_ROOT, when set, is put before every path (for trying the programs outside
# the isolated root).

FS_ROOT=${PLATFORM_ROOT-}
FS_SIM=$FS_ROOT/var/lib/floppy-sim
FS_QUEUE=$FS_SIM/queue
FS_DRIVE=$FS_SIM/drive
FS_EJECTED=$FS_SIM/ejected
FS_MOUNT=$FS_ROOT/floppy/floppy0

# Prints the name of the diskette in the drive; fails when the drive is empty.
fs_current() {
    for fs_d in "$FS_DRIVE"/*; do
        if [ -d "$fs_d" ] && [ ! -L "$fs_d" ]; then
            printf '%s\n' "${fs_d##*/}"
            return 0
        fi
    done
    return 1
}

# Puts the next diskette of the queue into an empty drive; fails when none is left.
fs_insert_next() {
    fs_current >/dev/null && return 0
    [ -d "$FS_QUEUE" ] || return 1
    fs_next=$(cd "$FS_QUEUE" && ls -1 | sort -n | while IFS= read -r n; do
        if [ -d "$n" ] && [ ! -L "$n" ]; then printf '%s\n' "$n"; break; fi
    done)
    [ -n "$fs_next" ] || return 1
    mkdir -p "$FS_DRIVE" && mv -- "$FS_QUEUE/$fs_next" "$FS_DRIVE/$fs_next"
}

fs_upper() { printf '%s' "$1" | tr 'a-z' 'A-Z'; }
fs_lower() { printf '%s' "$1" | tr 'A-Z' 'a-z'; }

# A DOS file system answers to every case of a name: give each entry of the mounted
# diskette its upper- and lower-case forms as links, unless those names are taken.
fs_add_case_links() {
    for fs_f in "$1"/*; do
        [ -e "$fs_f" ] && [ ! -L "$fs_f" ] || continue
        fs_n=${fs_f##*/}
        for fs_alias in "$(fs_upper "$fs_n")" "$(fs_lower "$fs_n")"; do
            if [ "$fs_alias" != "$fs_n" ] && [ ! -e "$1/$fs_alias" ] && [ ! -L "$1/$fs_alias" ]; then
                ln -s -- "$fs_n" "$1/$fs_alias"
            fi
        done
    done
}

# Removes the links fs_add_case_links made: links to a sibling whose name differs only
# in case.
fs_remove_case_links() {
    for fs_f in "$1"/*; do
        [ -L "$fs_f" ] || continue
        fs_t=$(readlink -- "$fs_f")
        case $fs_t in */*|'') continue ;; esac
        fs_n=${fs_f##*/}
        if [ "$fs_t" != "$fs_n" ] && [ -e "$1/$fs_t" ] && [ "$(fs_upper "$fs_t")" = "$(fs_upper "$fs_n")" ]; then
            rm -f -- "$fs_f"
        fi
    done
}

# Shows the diskette in the drive at /floppy/floppy0; fails when the drive is empty or
# the mount point is taken by something that is not our link.
fs_mount() {
    fs_cur=$(fs_current) || return 1
    if [ -L "$FS_MOUNT" ]; then
        rm -f -- "$FS_MOUNT"
    elif [ -e "$FS_MOUNT" ]; then
        echo "$FS_MOUNT is in use" >&2
        return 1
    fi
    mkdir -p "${FS_MOUNT%/*}" || return 1
    fs_add_case_links "$FS_DRIVE/$fs_cur"
    ln -s -- "$FS_DRIVE/$fs_cur" "$FS_MOUNT"
}

fs_unmount() {
    [ -L "$FS_MOUNT" ] && rm -f -- "$FS_MOUNT"
    fs_cur=$(fs_current) || return 0
    fs_remove_case_links "$FS_DRIVE/$fs_cur"
}

# One failure used up from the busy counter; succeeds when the drive is not busy.
fs_check_busy() {
    [ -e "$FS_SIM/busy" ] || return 0
    fs_left=$(cat -- "$FS_SIM/busy" 2>/dev/null)
    case $fs_left in
        ''|*[!0-9]*) fs_left=1 ;;
    esac
    if [ "$fs_left" -gt 1 ]; then
        echo $((fs_left - 1)) >"$FS_SIM/busy"
    else
        rm -f -- "$FS_SIM/busy"
    fi
    return 1
}

# Takes the diskette out of the drive into ejected/; an empty drive ejects nothing and
# succeeds.
fs_eject() {
    fs_cur=$(fs_current) || { [ -L "$FS_MOUNT" ] && rm -f -- "$FS_MOUNT"; return 0; }
    fs_check_busy || return 2
    fs_unmount
    mkdir -p "$FS_EJECTED" || return 1
    fs_dest=$fs_cur
    fs_i=2
    while [ -e "$FS_EJECTED/$fs_dest" ] || [ -L "$FS_EJECTED/$fs_dest" ]; do
        fs_dest=$fs_cur-$fs_i
        fs_i=$((fs_i + 1))
    done
    mv -- "$FS_DRIVE/$fs_cur" "$FS_EJECTED/$fs_dest"
}
