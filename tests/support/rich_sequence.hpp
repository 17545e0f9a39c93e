#pragma once

#include <filesystem>

// A small sequence with the cases that exercise every path of the models:
// a textured background, a moving object, a darker same-hue shadow, a
// camouflaged object nearer in depth, missing depth, noise and, optionally, a
// partial region of interest. Deterministic for a given seed.
struct RichSequencePlan {
    int width = 40;
    int height = 32;
    int frames = 16;
    int fromIdx = 6;
    int depthBits = 16;
    bool partialRoi = false;
    unsigned seed = 1;
};

void writeRichSequence(const std::filesystem::path& dir, const RichSequencePlan& plan);
