#include "accuracy.hpp"

#include <filesystem>

#include "files/sequence_layout.hpp"
#include "sequence_scoring.hpp"

bool hasGroundTruth(const SequenceLayout& layout) {
    return std::filesystem::is_directory(std::filesystem::path(layout.dir) /
                                         dadimero::kGroundTruthDirectory);
}

double fMeasureOf(const SequenceLayout& layout, const std::string& maskDir) {
    return scoreSequence(layout.dir, maskDir).measures.fMeasure;
}
