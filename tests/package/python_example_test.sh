#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the package lands where the
# Python looks, and runs examples/python/run_sequence.py with the installed package
# alone; its masks must be DADI-MERO's, byte for byte, with depth and with colour alone.
# Usage: python_example_test.sh BUILD_DIR EXAMPLE_DIR PYTHON MAKE_SAMPLE_SEQUENCE DADI-MERO
set -euo pipefail
build=$1 example=$2 python=$3 generator=$4 program=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
init=$(find "$work/prefix" -path '*/dadimero/__init__.py')
[ -n "$init" ] || { echo "the package dadimero is not installed"; exit 1; }
site=$(dirname "$(dirname "$init")")
for file in py.typed _dadimero.pyi; do
    [ -f "$site/dadimero/$file" ] || { echo "$file is not installed in the package"; exit 1; }
done
# Where the Python looks for packages installed under a prefix it searches (its
# own, or /usr/local for Debian's), the same directory under that prefix is searched.
"$python" - "${site#"$work/prefix/"}" <<'PY' || exit 1
import sys
relative = sys.argv[1]
for prefix in sorted({sys.prefix, "/usr/local"}):
    searched = [p for p in sys.path if p.startswith(prefix + "/lib/")]
    if searched and f"{prefix}/{relative}" not in sys.path:
        sys.exit(f"the package installs into PREFIX/{relative}, but for PREFIX = {prefix} "
                 f"{sys.executable} searches {', '.join(searched)}")
PY
# Only the installed package is visible to the example: no build tree.
module=$(cd "$work" && PYTHONPATH="$site" "$python" -c 'import dadimero; print(dadimero.__file__)')
[ "$module" = "$site/dadimero/__init__.py" ] || { echo "dadimero was imported from $module"; exit 1; }

"$generator" --out "$work/seq" --width 80 --height 60 --frames 60 --depth-bits 16 --seed 7 \
    --roi partial >/dev/null
compare() {
    local name=$1
    shift
    mkdir -p "$work/$name/program" "$work/$name/example"
    (cd "$work/$name/program" && "$program" "$work/seq" "$@" >/dev/null)
    (cd "$work" && PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 "$python" \
        "$example/run_sequence.py" "$work/seq" "$work/$name/example" \
        $([ "$*" = "-DADI 0" ] && echo --colour-only))
    local masks
    masks=$(ls "$work/$name/program" | wc -l)
    [ "$masks" -eq 45 ] || { echo "$name: DADI-MERO wrote $masks masks, expected 45"; exit 1; }
    diff -r "$work/$name/program" "$work/$name/example" ||
        { echo "$name: the example's masks differ from DADI-MERO's"; exit 1; }
}
compare rgbd
compare colour -DADI 0
echo "the installed module runs the example, and its masks are DADI-MERO's"
