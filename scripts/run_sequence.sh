#!/usr/bin/env bash
# Runs DADI-MERO on one sequence inside its own output folder; one job of
# scripts/run_dataset.sh.
# Usage: run_sequence.sh BIN DATASET_ROOT OUTPUT_ROOT SEQDIR THREADS [options...]
# THREADS is "-" to leave DADI-MERO's -threads alone, or N to add "-threads N"
# after the options. The folder first loses every output of an earlier run, so
# nothing of an unfinished or different run can pass for this one. Then
# OUTDIR/DADI-MERO.options gets the options that can change a mask, one a line
# (run_options.pl record: no -threads); OUTDIR/DADI-MERO.log gets
# DADI-MERO's stdout and stderr, and OUTDIR/DADI-MERO.status its exit code once
# it has ended. Exits with DADI-MERO's exit code.
set -u
bin=$1 root=$2 outroot=$3 seq=$4 threads=$5
shift 5
rel=${seq#"$root"}
rel=${rel#/}
outdir=$outroot/${rel:-.}
mkdir -p "$outdir" || exit 1
cd "$outdir" || exit 1
find . -maxdepth 1 -type f \( -name DADI-MERO.status -o -name DADI-MERO.options \
    -o -name DADI-MERO.log -o -name 'bin[0-9]*.png' -o -name 'Cbin[0-9]*.png' \
    -o -name 'Dbin[0-9]*.png' -o -name 'Cmodel[0-9]*.ppm' -o -name 'Dmodel[0-9]*.png' \
    -o -name DinitImage.png \) -delete || exit 1
perl "$(dirname "$0")/run_options.pl" record "$@" >DADI-MERO.options || exit 1
added=()
[ "$threads" = - ] || added=(-threads "$threads")
"$bin" "$seq" "$@" "${added[@]}" >DADI-MERO.log 2>&1
status=$?
# Renamed into place: a status file is never seen half written.
echo "$status" >DADI-MERO.status.partial && mv -f DADI-MERO.status.partial DADI-MERO.status
exit "$status"
