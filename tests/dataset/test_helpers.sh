# Shared by the dataset program's tests: checks that count failures, and
# comparisons of output folders. Source it after setting `work`.
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
same_masks() {  # same_masks DIR_A DIR_B: the same bin*.png files, byte for byte
    local a=$1 b=$2 f
    [ -n "$(cd "$a" && find . -name 'bin*.png')" ] || return 1
    [ "$(cd "$a" && find . -name 'bin*.png' | sort)" = "$(cd "$b" && find . -name 'bin*.png' | sort)" ] ||
        return 1
    while IFS= read -r -d '' f; do
        cmp -s "$a/$f" "$b/$f" || return 1
    done < <(cd "$a" && find . -name 'bin*.png' -print0)
}
# None of the processes the test started, found by the temporary folder on
# their command line, is left (pgrep leaves itself out).
none_left() {
    ! pgrep -a -f -- "$work/"
}
# Waits until a file matches GLOB (a mask written), at most a minute.
wait_for() {
    local tries=0
    until compgen -G "$1" >/dev/null || [ $tries -ge 600 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
}
finish() {
    echo "$failures failed checks"
    [ "$failures" -eq 0 ]
}
