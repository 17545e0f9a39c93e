#include "sequence_layout.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

std::string numbered(const std::string& dir, const char* format, int64_t frame) {
    char name[64];
    std::snprintf(name, sizeof name, format, static_cast<long long>(frame));
    return dir + "/" + name;
}

}  // namespace

std::string SequenceLayout::colourPath(int64_t frame) const {
    return numbered(dir, "input/in%06lld.png", frame);
}

std::string SequenceLayout::depthPath(int64_t frame) const {
    return numbered(dir, "depth/d%06lld.png", frame);
}

SequenceLayout readSequenceLayout(const std::string& dir) {
    SequenceLayout layout;
    // Absolute, because every run works in its own temporary directory.
    layout.dir = std::filesystem::absolute(dir).lexically_normal().string();
    if (layout.dir.ends_with('/')) layout.dir.pop_back();
    std::ifstream in(dir + "/temporalROI.txt");
    if (!(in >> layout.fromIdx >> layout.toIdx) || layout.toIdx <= layout.fromIdx ||
        layout.fromIdx <= SequenceLayout::kFirstFrame) {
        throw std::runtime_error("no usable temporalROI.txt in " + dir);
    }
    return layout;
}
