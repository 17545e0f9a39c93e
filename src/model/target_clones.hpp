#pragma once

// Hot loops over contiguous rows are compiled twice, for AVX2 and for the
// baseline, and the loader picks one. Both give the same bits: the loops are
// plain IEEE arithmetic, and -ffp-contract=off keeps multiplies and adds
// apart. The sanitizers' runtimes are not ready when the loader picks, so
// their builds get the baseline alone.
#ifdef DADI_NO_TARGET_CLONES
#define DADI_TARGET_CLONES
#else
#define DADI_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#endif
