#include "targets.hpp"

namespace {

const MethodResult* findIf(const SequenceResult& result, bool MethodResult::*flag) {
    for (const MethodResult& m : result.methods)
        if (m.*flag && !m.seconds.empty()) return &m;
    return nullptr;
}

TargetCheck ratioCheck(const std::string& goal, double value, double limit) {
    TargetCheck check{goal, value, limit, value > 0.0, false};
    check.met = check.measured && value <= limit;
    return check;
}

void addMemoryCheck(std::vector<TargetCheck>& checks, const char* goal, const MethodResult* m) {
    if (m == nullptr) {
        checks.push_back({goal, 0.0, 0.0, false, false});
        return;
    }
    const double peakMiB = static_cast<double>(m->maxPeakRssKb()) / 1024.0;
    const double limitMiB = 1.25 * m->modelBytes / (1024.0 * 1024.0);
    checks.push_back(ratioCheck(goal, peakMiB, limitMiB));
}

}  // namespace

std::vector<TargetCheck> checkTargets(const SequenceResult& result) {
    std::vector<TargetCheck> checks;
    const MethodResult& floor = result.methods.at(0);
    const MethodResult& mog2 = result.methods.at(1);
    const MethodResult* rgbd = findIf(result, &MethodResult::isDadiRgbdN3);
    const MethodResult* colour = findIf(result, &MethodResult::isDadiColourN3);
    const double floorMs = floor.msPerFrame();
    const double mog2Ms = mog2.msPerFrame();
    const auto ratio = [](const MethodResult* m, double base) {
        return m != nullptr && base > 0.0 ? m->msPerFrame() / base : 0.0;
    };
    checks.push_back(
        ratioCheck("RGB-D n=3 ms/frame <= MOG2 ms/frame (x MOG2)", ratio(rgbd, mog2Ms), 1.0));
    checks.push_back(ratioCheck("RGB-D n=3 <= 1.5x I/O floor", ratio(rgbd, floorMs), 1.5));
    checks.push_back(ratioCheck("colour n=3 <= 1.25x I/O floor", ratio(colour, floorMs), 1.25));
    addMemoryCheck(checks, "RGB-D n=3 peak RSS MiB <= 1.25x model", rgbd);
    addMemoryCheck(checks, "colour n=3 peak RSS MiB <= 1.25x model", colour);
    return checks;
}
