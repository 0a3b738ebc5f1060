# floppy.sh - the simulated diskette drive shared by eject and volcheck (bash, sourced).
#
# The drive is a set of directories under /var/lib/floppy-sim:
#   queue/NAME    diskettes waiting to be inserted: names that are numbers first, in
#                 numeric order, then the others in byte order
#   drive/NAME    the diskette in the drive (at most one)
#   ejected/NAME  diskettes taken out of the drive, kept for inspection
#   busy          while present, eject fails; a number in it counts the failures left
#   case-links    the case links of the mounted diskette (see fs_add_case_links)
# A mounted diskette is shown as the symbolic link /floppy/floppy0 -> drive/NAME.
# The simulated operator is always ready: when the drive is empty and a program looks
# at it (eject -q, volcheck), the next diskette of the queue is inserted.
# PLATFORM_ROOT, when set, is put before every path (for trying the programs outside
# the isolated root). Built-ins are used wherever they do the job: these programs run
# often and process starts are what they cost.

FS_ROOT=${PLATFORM_ROOT-}
FS_SIM=$FS_ROOT/var/lib/floppy-sim
FS_QUEUE=$FS_SIM/queue
FS_DRIVE=$FS_SIM/drive
FS_EJECTED=$FS_SIM/ejected
FS_LINKS=$FS_SIM/case-links
FS_MOUNT=$FS_ROOT/floppy/floppy0

# Sets fs_cur to the name of the diskette in the drive; fails when the drive is empty.
fs_current() {
    local d
    for d in "$FS_DRIVE"/*; do
        if [ -d "$d" ] && [ ! -L "$d" ]; then
            fs_cur=${d##*/}
            return 0
        fi
    done
    fs_cur=""
    return 1
}

# True when diskette name $1 comes before $2 in the queue ($2 empty: nothing yet).
fs_before() {
    [ -n "$2" ] || return 0
    local num='^[0-9]{1,18}$'
    if [[ $1 =~ $num ]]; then
        [[ $2 =~ $num ]] || return 0
        if ((10#$1 != 10#$2)); then
            ((10#$1 < 10#$2))
            return
        fi
    elif [[ $2 =~ $num ]]; then
        return 1
    fi
    [[ $1 < $2 ]]
}

# Puts the next diskette of the queue into an empty drive; fails when none is left.
fs_insert_next() {
    fs_current && return 0
    local e n next=""
    for e in "$FS_QUEUE"/*; do
        [ -d "$e" ] && [ ! -L "$e" ] || continue
        n=${e##*/}
        fs_before "$n" "$next" && next=$n
    done
    [ -n "$next" ] || return 1
    [ -d "$FS_DRIVE" ] || mkdir -p "$FS_DRIVE" || return 1
    mv -- "$FS_QUEUE/$next" "$FS_DRIVE/$next" || return 1
    fs_cur=$next
}

# A DOS file system answers to every case of a name: give each entry of the mounted
# diskette its upper- and lower-case forms as links, unless those names are taken, and
# note them in case-links.
fs_add_case_links() {
    local f n alias list=""
    for f in "$1"/*; do
        [ -e "$f" ] && [ ! -L "$f" ] || continue
        n=${f##*/}
        for alias in "${n^^}" "${n,,}"; do
            if [ "$alias" != "$n" ] && [ ! -e "$1/$alias" ] && [ ! -L "$1/$alias" ]; then
                ln -s -- "$n" "$1/$alias" && list+="$alias"$'\n'
            fi
        done
    done
    printf '%s' "$list" >"$FS_LINKS"
}

# Takes the diskette away from /floppy/floppy0, removing the case links that are still
# links.
fs_unmount() {
    local gone=() alias
    [ -L "$FS_MOUNT" ] && gone+=("$FS_MOUNT")
    if fs_current && [ -f "$FS_LINKS" ]; then
        while IFS= read -r alias; do
            [ -n "$alias" ] && [ -L "$FS_DRIVE/$fs_cur/$alias" ] && gone+=("$FS_DRIVE/$fs_cur/$alias")
        done <"$FS_LINKS"
    fi
    [ -e "$FS_LINKS" ] && gone+=("$FS_LINKS")
    [ ${#gone[@]} = 0 ] || rm -f -- "${gone[@]}"
}

# Shows the diskette in the drive at /floppy/floppy0; fails when the drive is empty or
# the mount point is taken by something that is not our link.
fs_mount() {
    fs_current || return 1
    local cur=$fs_cur
    fs_unmount
    if [ -e "$FS_MOUNT" ]; then
        echo "${0##*/}: $FS_MOUNT is in use" >&2
        return 1
    fi
    [ -d "${FS_MOUNT%/*}" ] || mkdir -p "${FS_MOUNT%/*}" || return 1
    fs_add_case_links "$FS_DRIVE/$cur"
    # Relative, so that the link also leads to the diskette when the state directory of
    # the isolated root is looked at from outside.
    ln -s -- "../var/lib/floppy-sim/drive/$cur" "$FS_MOUNT"
}

# Uses up one failure of the busy counter; succeeds when the drive is not busy.
fs_check_busy() {
    [ -e "$FS_SIM/busy" ] || return 0
    local left=""
    read -r left <"$FS_SIM/busy"
    case $left in
        '' | *[!0-9]*) left=1 ;;
    esac
    if ((10#$left > 1)); then
        echo $((10#$left - 1)) >"$FS_SIM/busy"
    else
        rm -f -- "$FS_SIM/busy"
    fi
    return 1
}

# Takes the diskette out of the drive into ejected/ (status 2 while the drive is busy);
# an empty drive ejects nothing and succeeds.
fs_eject() {
    if ! fs_current; then
        fs_unmount
        return 0
    fi
    fs_check_busy || return 2
    local cur=$fs_cur dest=$fs_cur i=2
    fs_unmount
    [ -d "$FS_EJECTED" ] || mkdir -p "$FS_EJECTED" || return 1
    while [ -e "$FS_EJECTED/$dest" ] || [ -L "$FS_EJECTED/$dest" ]; do
        dest=$cur-$i
        i=$((i + 1))
    done
    mv -- "$FS_DRIVE/$cur" "$FS_EJECTED/$dest"
}
