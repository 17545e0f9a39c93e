#!/usr/bin/env bash
# The former name of `dadimero-dataset run`, kept for scripts that call it:
# runs build/dadimero-dataset run with the same arguments. --evaluator is no
# longer needed (the scores are computed by the program itself) and is
# dropped with a note.
here=$(cd "$(dirname "$0")" && pwd)
args=()
while [ $# -gt 0 ]; do
    case $1 in
    --) args+=("$@"); break ;;
    --evaluator) echo "run_dataset.sh: --evaluator is no longer needed; ignored" >&2; shift 2 ;;
    *) args+=("$1"); shift ;;
    esac
done
exec "$here/../build/dadimero-dataset" run "${args[@]}"
