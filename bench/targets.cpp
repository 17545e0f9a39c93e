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

double scalingCpu(const SequenceResult& result, int n) {
    for (const ScalingPoint& p : result.scaling)
        if (p.n == n) return p.applyCpuMs;
    return 0.0;
}

const LiveResult* findLive(const SequenceResult& result, bool depth) {
    for (const LiveResult& live : result.live)
        if (live.depth == depth && !live.samples.empty()) return &live;
    return nullptr;
}

}  // namespace

std::vector<TargetCheck> checkTargets(const SequenceResult& result) {
    std::vector<TargetCheck> checks;
    const MethodResult* floor = result.find(MethodKind::IoFloor);
    const MethodResult* colourFloor = result.find(MethodKind::ColourIoFloor);
    const MethodResult* rgbd = result.find(MethodKind::DadiRgbd, 3);
    const MethodResult* colour = result.find(MethodKind::DadiColour, 3);
    const LiveResult* live = findLive(result, true);
    const double onlineCpu = live != nullptr ? live->medianOf(&LiveSample::onlineCpuMs) : 0.0;
    const double calibrationCpu =
        live != nullptr ? live->medianOf(&LiveSample::calibrationCpuMs) : 0.0;

    checks.push_back(
        ratioCheck("1. RGB-D apply CPU <= 4x MOG2 apply (x MOG2)",
                   result.mog2ApplyCpuMs > 0.0 ? onlineCpu / result.mog2ApplyCpuMs : 0.0, 4.0));
    // The live goal is stated for 1280x720 and checked there only.
    const bool hd = result.pixels() >= 1280.0 * 720.0;
    checks.push_back(
        ratioCheck("2. RGB-D live ms/frame at 1280x720 <= 33",
                   live != nullptr && hd ? live->medianOf(&LiveSample::onlineWallMs) : 0.0, 33.0));
    checks.push_back(
        ratioCheck("3. RGB-D end to end <= 1.5x I/O floor", ratioOf(rgbd, floor), 1.5));
    checks.push_back(
        ratioCheck("3. colour end to end <= 1.5x colour floor", ratioOf(colour, colourFloor), 1.5));
    checks.push_back(ratioCheck("4. calibration CPU <= online CPU (ratio)",
                                onlineCpu > 0.0 ? calibrationCpu / onlineCpu : 0.0, 1.0));
    // Cost per pixel and cell against n = 3's, one thread.
    const double n3 = scalingCpu(result, 3);
    for (const int n : {5, 9}) {
        const double cost = scalingCpu(result, n);
        const std::string goal = "5. n=" + std::to_string(n) + " cost per cell <= n=3's";
        checks.push_back(
            ratioCheck(goal, n3 > 0.0 && cost > 0.0 ? (cost / (n * n)) / (n3 / 9.0) : 0.0, 1.0));
    }
    return checks;
}
