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
input/), each in its own folder OUTPUT_ROOT/<path relative to DATASET_ROOT>,
where it writes bin%06d.png, DADI-MERO.log (its stdout and stderr) and
DADI-MERO.status (its exit code). Options after -- go to every run. When more
than one run goes at once, each also gets -threads 1 (after your options, so a
-threads of yours wins).

A sequence whose masks for its whole temporal range (temporalROI.txt) are all
present is skipped, so a stopped run can be started again. At the end, prints
evaluate-masks' table for the sequences with groundtruth/. Exits 1 when any
sequence failed (the summary names them and their logs), 2 on a bad command line.

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
[ -x "$bin" ] || fail_usage "no executable $bin (build first, or give --bin)"
[ -d "${positional[0]}" ] || fail_usage "no dataset directory ${positional[0]}"
root=$(cd "${positional[0]}" && pwd)
mkdir -p "${positional[1]}" || fail_usage "cannot create ${positional[1]}"
out=$(cd "${positional[1]}" && pwd)
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
if [ -n "$sshloginfile" ]; then
    [ -r "$sshloginfile" ] || fail_usage "cannot read $sshloginfile"
fi

# Parallel runs share the cores: one worker thread each.
if [ -n "$jobs" ]; then
    concurrent=$([ "$jobs" -gt 1 ] && echo yes || echo no)
else
    concurrent=$([ "$(nproc)" -gt 1 ] || [ -n "$sshloginfile" ] && echo yes || echo no)
fi
[ "$concurrent" = yes ] && extra+=(-threads 1)

output_dir_of() {
    local rel=${1#"$root"}
    rel=${rel#/}
    echo "$out/${rel:-.}"
}

# Complete: every bin%06d.png of the temporal range exists in the output folder.
is_complete() {
    local seq=$1 dir from to f
    dir=$(output_dir_of "$seq")
    [ -r "$seq/temporalROI.txt" ] || return 1
    # A last line without a newline still counts.
    read -r from to _ <"$seq/temporalROI.txt" || [ -n "${to:-}" ] || return 1
    [[ $from =~ ^[0-9]+$ && $to =~ ^[0-9]+$ ]] || return 1
    for ((f = 10#$from; f <= 10#$to; f++)); do
        [ -f "$dir/$(printf 'bin%06d.png' "$f")" ] || return 1
    done
}

mapfile -t sequences < <(find "$root" -type d -name input -prune -printf '%h\n' | LC_ALL=C sort -u)
if [ ${#sequences[@]} -eq 0 ]; then
    echo "run_dataset.sh: no sequence (directory holding input/) under $root" >&2
    exit 1
fi

pending=()
skipped=()
for seq in "${sequences[@]}"; do
    if is_complete "$seq"; then
        skipped+=("$seq")
    else
        pending+=("$seq")
        rm -f "$(output_dir_of "$seq")/DADI-MERO.status"
    fi
done
echo "run_dataset.sh: ${#sequences[@]} sequences, ${#skipped[@]} already complete (skipped), ${#pending[@]} to run"
for seq in "${skipped[@]}"; do
    echo "  skipped (complete): ${seq#"$root"/}"
done

if [ ${#pending[@]} -gt 0 ]; then
    parallel_options=(--will-cite --quote --joblog "$out/run_dataset.joblog")
    [ -n "$jobs" ] && parallel_options+=(-j "$jobs")
    [ -n "$sshloginfile" ] && parallel_options+=(--sshloginfile "$sshloginfile")
    printf '%s\n' "${pending[@]}" |
        parallel "${parallel_options[@]}" bash "$here/run_sequence.sh" "$bin" "$root" "$out" {} \
            "${extra[@]}"
fi

failed=()
done_now=()
for seq in "${pending[@]}"; do
    dir=$(output_dir_of "$seq")
    status=$(cat "$dir/DADI-MERO.status" 2>/dev/null || echo "none")
    if [ "$status" = 0 ] && is_complete "$seq"; then
        done_now+=("$seq")
    elif [ "$status" = 0 ]; then
        failed+=("$seq: exit 0 but masks are missing (log: $dir/DADI-MERO.log)")
    elif [ "$status" = none ]; then
        failed+=("$seq: did not run (see $out/run_dataset.joblog)")
    else
        reason=$(grep -v '^[[:space:]]*$' "$dir/DADI-MERO.log" 2>/dev/null | tail -n 1)
        failed+=("$seq: exit $status: $reason (log: $dir/DADI-MERO.log)")
    fi
done

echo
echo "Summary: ${#done_now[@]} ran, ${#skipped[@]} skipped (complete), ${#failed[@]} failed"
for line in "${failed[@]}"; do
    echo "  FAILED ${line#"$root"/}"
done

evaluation_status=0
pairs=()
for seq in "${done_now[@]}" "${skipped[@]}"; do
    [ -d "$seq/groundtruth" ] && pairs+=("${seq#"$root"/}" "$(output_dir_of "$seq")")
done
if [ ${#pairs[@]} -gt 0 ]; then
    echo
    if [ -x "$evaluator" ]; then
        (cd "$root" && "$evaluator" "${pairs[@]}") || evaluation_status=1
    else
        echo "run_dataset.sh: no evaluator $evaluator; scores skipped" >&2
        evaluation_status=1
    fi
fi

[ ${#failed[@]} -eq 0 ] && [ $evaluation_status -eq 0 ]
