#include "accuracy.hpp"

#include <filesystem>

#include "sequence_scoring.hpp"

bool hasGroundTruth(const BenchSequence& layout) {
    return std::filesystem::is_directory(layout.files.groundTruthFolder());
}

double fMeasureOf(const BenchSequence& layout, const std::string& maskDir) {
    return scoreSequence(layout.dir, maskDir).measures.fMeasure;
}
