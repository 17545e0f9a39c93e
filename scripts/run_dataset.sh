#!/usr/bin/env bash
# Runs DADI-MERO over every sequence of a dataset with GNU parallel and scores
# the sequences that have ground truth.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")

usage() {
    cat <<'TEXT'
Usage: scripts/run_dataset.sh [options] DATASET_ROOT OUTPUT_ROOT [-- DADI-MERO options...]

Runs DADI-MERO on every sequence under DATASET_ROOT (every directory holding
input/; links to directories are followed, except in a loop), each in its own
folder OUTPUT_ROOT/<path relative to DATASET_ROOT>, where it writes
bin%06d.png, DADI-MERO.options, DADI-MERO.log (its stdout and stderr) and
DADI-MERO.status (its exit code). Options after -- go to every run. When more
than one run goes at once, each also gets -threads 1 (after your options, so a
-threads of yours wins). GNU parallel shows its progress (--eta) when standard
error is a terminal.

A sequence's masks are those of the frames its temporal range (temporalROI.txt)
and the options (-ini, -end, -K) give. A sequence with no such frame is not run:
the summary names it ("no frames in range 150..120"), counted apart from the
sequences run, skipped and failed. A sequence is complete when its
DADI-MERO.status says 0, every one of its masks decodes whole (every CRC and
all the image data), and DADI-MERO.options (the options that can change a mask,
one a line: not -threads) equals the current ones. A complete sequence is
skipped, so a stopped run can be started again; any other is run again from
scratch. Ctrl-C (INT) or TERM stops GNU parallel and every run it started,
prints the summary with the sequences cut short as interrupted, and exits 130
or 143. At the end, scores the complete sequences that have groundtruth/ with
evaluate-masks --dataset over the frames of their temporal range that have
masks, printing its tables and writing scores.txt and scores.json into
OUTPUT_ROOT (the previous ones stay until the new ones are whole); a sequence
with no frames is named there, and one that cannot be scored is named with the
reason, the others scored. Exits 1 when any sequence failed or could not be
scored (the summary names them and their logs), 2 on a bad command line.

Options:
  -j N                 sequences at once, per machine (default: one per core)
  --bin PATH           DADI-MERO executable (default: build/DADI-MERO)
  --evaluator PATH     evaluate-masks executable (default: build/evaluate-masks)
  --sshloginfile FILE  spread the sequences over the machines in FILE, passed
                       to GNU parallel: one "[N/]user@host" a line, ":" for
                       this machine. Every machine needs ssh access without a
                       password, bash and perl, and must see the executable,
                       this scripts/ folder, DATASET_ROOT and OUTPUT_ROOT at
                       the same absolute paths (e.g. one shared NFS mount).
  -h, --help           show this text

Needs GNU parallel and perl (which parallel needs too).
TEXT
}

fail_usage() {
    echo "run_dataset.sh: $1" >&2
    exit 2
}

jobs=""
bin=$repo/build/DADI-MERO
evaluator=$repo/build/evaluate-masks
sshloginfile=""
positional=()
extra=()
while [ $# -gt 0 ]; do
    case $1 in
    -h | --help) usage; exit 0 ;;
    -j) [ $# -ge 2 ] || fail_usage "-j needs a number"; jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    --bin) [ $# -ge 2 ] || fail_usage "--bin needs a path"; bin=$2; shift 2 ;;
    --evaluator) [ $# -ge 2 ] || fail_usage "--evaluator needs a path"; evaluator=$2; shift 2 ;;
    --sshloginfile) [ $# -ge 2 ] || fail_usage "--sshloginfile needs a file"; sshloginfile=$2; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    -*) fail_usage "unknown option '$1' (see --help)" ;;
    *) positional+=("$1"); shift ;;
    esac
done
[ ${#positional[@]} -eq 2 ] || fail_usage "needs DATASET_ROOT and OUTPUT_ROOT (see --help)"
if [ -n "$jobs" ] && ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
    fail_usage "-j needs a whole number above 0, got '$jobs'"
fi
command -v parallel >/dev/null || fail_usage "GNU parallel is not installed (scripts/install-deps.sh)"
command -v perl >/dev/null || fail_usage "perl is not installed (scripts/install-deps.sh)"
[ -x "$bin" ] || fail_usage "no executable $bin (build first, or give --bin)"
[ -d "${positional[0]}" ] || fail_usage "no dataset directory ${positional[0]}"
root=$(cd "${positional[0]}" && pwd)
mkdir -p "${positional[1]}" || fail_usage "cannot create ${positional[1]}"
out=$(cd "${positional[1]}" && pwd)
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
if [ -n "$sshloginfile" ]; then
    [ -r "$sshloginfile" ] || fail_usage "cannot read $sshloginfile"
fi
for option in "${extra[@]}"; do
    [[ $option != *$'\n'* ]] || fail_usage "a DADI-MERO option holds a line break; it could not be recorded"
done

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# Parallel runs share the cores: one worker thread each.
if [ -n "$jobs" ]; then
    concurrent=$([ "$jobs" -gt 1 ] && echo yes || echo no)
else
    concurrent=$([ "$(nproc)" -gt 1 ] || [ -n "$sshloginfile" ] && echo yes || echo no)
fi
threads=$([ "$concurrent" = yes ] && echo 1 || echo -)

# The options as run_sequence.sh records them: those that can change a mask.
options_file=$work/options
perl "$here/run_options.pl" record "${extra[@]}" >"$options_file" || exit 1

relative_of() {
    local rel=${1#"$root"}
    rel=${rel#/}
    echo "${rel:-.}"
}

output_dir_of() {
    local rel=${1#"$root"}
    rel=${rel#/}
    echo "$out/${rel:-.}"
}

# The frames of each sequence, as the program takes them from its temporal
# range and the options: masks[SEQ]="FIRST LAST" (none when FIRST > LAST) and
# scored[SEQ]="FIRST LAST", those inside the temporal range; both "unknown"
# when the program will stop before any mask.
declare -A masks scored
plan_frames() {
    local seq=$1 frames first last scored_first scored_last
    frames=$(perl "$here/run_options.pl" frames "$seq" "${extra[@]}") || frames=unknown
    if [ "$frames" = unknown ]; then
        masks[$seq]=unknown scored[$seq]=unknown
    else
        read -r first last scored_first scored_last <<<"$frames"
        masks[$seq]="$first $last" scored[$seq]="$scored_first $scored_last"
    fi
}
has_no_frames() {
    local first last
    [ "${masks[$1]}" != unknown ] || return 1
    read -r first last <<<"${masks[$1]}"
    [ "$first" -gt "$last" ]
}

# Sets incomplete_mask: the first mask of the sequence that is missing or does
# not decode whole, if any.
masks_whole() {
    local seq=$1 dir=$2 first last
    incomplete_mask=""
    [ "${masks[$seq]}" != unknown ] || return 1
    read -r first last <<<"${masks[$seq]}"
    incomplete_mask=$(perl "$here/whole_masks.pl" "$dir" "$first" "$last")
}

# Complete: ended with status 0, with the current options, and left every mask
# of its frames whole.
is_complete() {
    local seq=$1 dir
    dir=$(output_dir_of "$seq")
    [ "$(cat "$dir/DADI-MERO.status" 2>/dev/null)" = 0 ] || return 1
    cmp -s "$dir/DADI-MERO.options" "$options_file" || return 1
    masks_whole "$seq" "$dir"
}

# A signal stops whatever runs in the background (GNU parallel, the evaluator);
# the script then prints its summary and exits with 128 + the signal's number.
interrupted=""
child_pid=""
on_signal() {
    interrupted=$1
    [ -z "$child_pid" ] || kill -TERM "$child_pid" 2>/dev/null
}
trap 'on_signal INT' INT
trap 'on_signal TERM' TERM

# Waits for child_pid to end, even across signals; sets child_status.
wait_child() {
    local tries=0 job
    wait "$child_pid"
    child_status=$?
    while [ -n "$interrupted" ] && kill -0 "$child_pid" 2>/dev/null; do
        sleep 0.2
        tries=$((tries + 1))
        # GNU parallel ignores TERM until its first job has started: ask again.
        [ $((tries % 10)) -ne 0 ] || kill -TERM "$child_pid" 2>/dev/null
        if [ "$tries" -ge 50 ]; then
            # Still there after 10 s: each job of parallel leads a process group.
            for job in $(ps -o pid= --ppid "$child_pid"); do
                kill -KILL -- "-$job" 2>/dev/null
            done
            kill -KILL "$child_pid" 2>/dev/null
        fi
    done
    if [ -n "$interrupted" ]; then
        wait "$child_pid" 2>/dev/null
        child_status=$?
    fi
    child_pid=""
}

# -L follows links, and leaves out (with a warning) one that closes a loop.
mapfile -t sequences < <(find -L "$root" -type d -name input -prune -printf '%h\n' |
    LC_ALL=C sort -u)
if [ ${#sequences[@]} -eq 0 ]; then
    echo "run_dataset.sh: no sequence (directory holding input/) under $root" >&2
    exit 1
fi

pending=()
skipped=()
no_frames=()
for seq in "${sequences[@]}"; do
    plan_frames "$seq"
    if has_no_frames "$seq"; then
        no_frames+=("$seq")
    elif is_complete "$seq"; then
        skipped+=("$seq")
    else
        pending+=("$seq")
    fi
done
if [ -z "$interrupted" ]; then
    # What the summary reads must come from this run: run_sequence.sh writes the
    # options when it starts and the status when it ends.
    for seq in "${pending[@]}"; do
        dir=$(output_dir_of "$seq")
        rm -f "$dir/DADI-MERO.status" "$dir/DADI-MERO.options"
    done
    no_frames_note=""
    [ ${#no_frames[@]} -eq 0 ] || no_frames_note=", ${#no_frames[@]} with no frames (not run)"
    echo "run_dataset.sh: ${#sequences[@]} sequences, ${#skipped[@]} already complete (skipped)$no_frames_note, ${#pending[@]} to run"
    for seq in "${skipped[@]}"; do
        echo "  skipped (complete): ${seq#"$root"/}"
    done
fi

launched=no
if [ ${#pending[@]} -gt 0 ] && [ -z "$interrupted" ]; then
    printf '%s\n' "${pending[@]}" >"$work/pending"
    # Each job is a process group of its own; on a signal parallel sends it
    # --termseq and waits for it.
    parallel_options=(--will-cite --quote --joblog "$out/run_dataset.joblog"
        --termseq TERM,2000,KILL,100 -a "$work/pending")
    [ -n "$jobs" ] && parallel_options+=(-j "$jobs")
    [ -n "$sshloginfile" ] && parallel_options+=(--sshloginfile "$sshloginfile")
    [ -t 2 ] && parallel_options+=(--eta)
    parallel "${parallel_options[@]}" bash "$here/run_sequence.sh" "$bin" "$root" "$out" {} \
        "$threads" "${extra[@]}" &
    child_pid=$!
    launched=yes
    wait_child
fi

failed=()
done_now=()
cut_short=()
for seq in "${pending[@]}"; do
    dir=$(output_dir_of "$seq")
    status=$(cat "$dir/DADI-MERO.status" 2>/dev/null || echo "none")
    if [ "$status" = 0 ] && is_complete "$seq"; then
        done_now+=("$seq")
    elif [ -n "$interrupted" ] && ! [[ $status =~ ^([0-9]|[1-9][0-9]|1[01][0-9]|12[0-8])$ ]]; then
        # No status, or death by a signal: stopped by this interruption.
        if [ "$launched" = yes ] && [ -f "$dir/DADI-MERO.options" ]; then
            cut_short+=("$seq (log: $dir/DADI-MERO.log)")
        else
            cut_short+=("$seq (not started)")
        fi
    elif [ "$status" = 0 ] && [ "${masks[$seq]}" = unknown ]; then
        failed+=("$seq: exit 0 but its frames are unknown (log: $dir/DADI-MERO.log)")
    elif [ "$status" = 0 ]; then
        failed+=("$seq: exit 0 but mask ${incomplete_mask:-?} is missing or damaged (log: $dir/DADI-MERO.log)")
    elif [ "$status" = none ]; then
        failed+=("$seq: did not run (see $out/run_dataset.joblog)")
    else
        reason=$(grep -v '^[[:space:]]*$' "$dir/DADI-MERO.log" 2>/dev/null | tail -n 1)
        failed+=("$seq: exit $status: $reason (log: $dir/DADI-MERO.log)")
    fi
done

echo
summary="Summary: ${#done_now[@]} ran, ${#skipped[@]} skipped (complete), ${#failed[@]} failed"
[ ${#no_frames[@]} -eq 0 ] || summary+=", ${#no_frames[@]} with no frames"
[ -z "$interrupted" ] || summary+=", ${#cut_short[@]} interrupted"
echo "$summary"
for line in "${failed[@]}"; do
    echo "  FAILED ${line#"$root"/}"
done
for seq in "${no_frames[@]}"; do
    echo "  no frames in range ${masks[$seq]/ /..}: $(relative_of "$seq")"
done
for line in "${cut_short[@]}"; do
    echo "  interrupted: ${line#"$root"/}"
done

interrupted_exit() {
    echo "run_dataset.sh: interrupted by $interrupted; start it again to resume" >&2
    [ "$interrupted" = INT ] && exit 130
    exit 143
}
[ -z "$interrupted" ] || interrupted_exit

# evaluate-masks --dataset scores the videos listed, each over its frames, in
# the dataset itself: its messages name the user's files. Those with no frames
# are listed too, so that the scores name them.
evaluation_status=0
: >"$work/videos"
for seq in "${done_now[@]}" "${skipped[@]}"; do
    [ -d "$seq/groundtruth" ] && echo "${scored[$seq]} $(relative_of "$seq")" >>"$work/videos"
done
for seq in "${no_frames[@]}"; do
    [ -d "$seq/groundtruth" ] && echo "${masks[$seq]} $(relative_of "$seq")" >>"$work/videos"
done
if [ -s "$work/videos" ]; then
    echo
    if [ -x "$evaluator" ]; then
        "$evaluator" --dataset "$root" "$out" --out "$out" --videos "$work/videos" &
        child_pid=$!
        evaluator_pid=$child_pid
        wait_child
        evaluation_status=$child_status
        # A stopped evaluator leaves its unfinished files, named after its
        # process; the previous scores stand.
        rm -f "$out"/.scores.*."$evaluator_pid"@*.dadimero.tmp
        [ -z "$interrupted" ] || interrupted_exit
        # 4: scored, but for the sequences without frames, which are no failure.
        [ "$evaluation_status" -ne 4 ] || evaluation_status=0
    else
        echo "run_dataset.sh: no evaluator $evaluator; scores skipped" >&2
        evaluation_status=1
    fi
fi

[ ${#failed[@]} -eq 0 ] && [ "$evaluation_status" -eq 0 ]
