#!/usr/bin/env bash
# Runs DADI-MERO on one sequence inside its own output folder; one job of
# scripts/run_dataset.sh. Usage: run_sequence.sh BIN DATASET_ROOT OUTPUT_ROOT SEQDIR [options...]
# Writes OUTDIR/DADI-MERO.log (stdout and stderr) and OUTDIR/DADI-MERO.status
# (the exit code) and exits with DADI-MERO's exit code.
set -u
bin=$1 root=$2 outroot=$3 seq=$4
shift 4
rel=${seq#"$root"}
rel=${rel#/}
outdir=$outroot/${rel:-.}
mkdir -p "$outdir" || exit 1
cd "$outdir" || exit 1
"$bin" "$seq" "$@" >DADI-MERO.log 2>&1
status=$?
echo "$status" >DADI-MERO.status
exit "$status"
