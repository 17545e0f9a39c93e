#include "targets.hpp"

namespace {

TargetCheck ratioCheck(const std::string& goal, double value, double limit) {
    TargetCheck check{goal, value, limit, value > 0.0, false};
    check.met = check.measured && value <= limit;
    return check;
}

double ratioOf(const MethodResult* m, const MethodResult* base) {
    if (m == nullptr || base == nullptr || base->msPerFrame() <= 0.0) return 0.0;
    return m->msPerFrame() / base->msPerFrame();
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

double scalingCpu(const SequenceResult& result, int n) {
    for (const ScalingPoint& p : result.scaling)
        if (p.n == n) return p.applyCpuMs;
    return 0.0;
}

}  // namespace

std::vector<TargetCheck> checkTargets(const SequenceResult& result) {
    std::vector<TargetCheck> checks;
    const MethodResult* floor = result.find(MethodKind::IoFloor);
    const MethodResult* colourFloor = result.find(MethodKind::ColourIoFloor);
    const MethodResult* mog2 = result.find(MethodKind::Mog2);
    const MethodResult* rgbd = result.find(MethodKind::DadiRgbd, 3);
    const MethodResult* colour = result.find(MethodKind::DadiColour, 3);

    const double algorithmCpu =
        result.breakdowns.empty() ? 0.0 : result.breakdowns.front().applyCpuMsPerFrame();
    checks.push_back(
        ratioCheck("1. RGB-D n=3 algorithm CPU <= 2x MOG2 apply CPU",
                   result.mog2ApplyCpuMs > 0.0 ? algorithmCpu / result.mog2ApplyCpuMs : 0.0, 2.0));
    checks.push_back(
        ratioCheck("2. RGB-D n=3 end to end <= MOG2 (x MOG2)", ratioOf(rgbd, mog2), 1.0));
    checks.push_back(
        ratioCheck("2. RGB-D n=3 end to end <= 1.5x I/O floor", ratioOf(rgbd, floor), 1.5));
    checks.push_back(
        ratioCheck("3. colour n=3 <= 1.25x colour-only floor", ratioOf(colour, colourFloor), 1.25));
    addMemoryCheck(checks, "4. RGB-D n=3 peak MiB <= 1.25x model", rgbd);
    addMemoryCheck(checks, "4. colour n=3 peak MiB <= 1.25x model", colour);
    // Cost per pixel and cell: n = 9 against n = 3, one thread.
    const double n3 = scalingCpu(result, 3);
    const double n9 = scalingCpu(result, 9);
    checks.push_back(ratioCheck("5. n=9 cost per cell <= 1.1x n=3's",
                                n3 > 0.0 && n9 > 0.0 ? (n9 / 81.0) / (n3 / 9.0) : 0.0, 1.1));
    return checks;
}
