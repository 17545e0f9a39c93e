#include "report.hpp"

#include <cmath>
#include <string>

#include "targets.hpp"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double fps(double msPerFrame) {
    return msPerFrame > 0.0 ? 1e3 / msPerFrame : 0.0;
}

double ratio(double value, double base) {
    return base > 0.0 ? value / base : 0.0;
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string fText(double f) {
    if (std::isnan(f)) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", f);
    return text;
}

void printMethods(std::FILE* out, const SequenceResult& seq) {
    const MethodResult* floor = seq.find(MethodKind::IoFloor);
    const MethodResult* mog2 = seq.find(MethodKind::Mog2);
    const double floorMs = floor != nullptr ? floor->msPerFrame() : 0.0;
    const double mog2Ms = mog2 != nullptr ? mog2->msPerFrame() : 0.0;
    std::fprintf(out, "%-26s %6s %9s %8s %8s %7s %9s %9s %9s\n", "method", "frames", "ms/frame",
                 "fps", "x floor", "x MOG2", "peak MiB", "model MiB", "F-measure");
    for (const MethodResult& m : seq.methods) {
        const double ms = m.msPerFrame();
        std::fprintf(out, "%-26s %6lld %9.2f %8.1f %8.2f %7.2f %9.1f", m.name.c_str(),
                     static_cast<long long>(m.frames), ms, fps(ms), ratio(ms, floorMs),
                     ratio(ms, mog2Ms), static_cast<double>(m.maxPeakRssKb()) / 1024.0);
        if (m.modelBytes > 0.0) {
            std::fprintf(out, " %9.1f", m.modelBytes / kMiB);
        } else {
            std::fprintf(out, " %9s", "-");
        }
        std::fprintf(out, " %9s", fText(m.fMeasure).c_str());
        if (m.failures > 0) std::fprintf(out, "  (%d failed runs)", m.failures);
        std::fprintf(out, "\n");
    }
}

// ns of one thread's CPU per pixel and per cell of its block.
double nsPerCell(const SequenceResult& seq, const ScalingPoint& p) {
    return 1e6 * p.applyCpuMs / (seq.pixels() * p.n * p.n);
}

void printScaling(std::FILE* out, const SequenceResult& seq) {
    if (seq.scaling.empty()) return;
    std::fprintf(out,
                 "\nCost by block side, RGB-D, one thread, apply CPU over the first %lld "
                 "frames:\n%-6s %12s %16s\n",
                 static_cast<long long>(seq.scaling.front().frames), "n", "ms/frame",
                 "ns per pixel*n^2");
    for (const ScalingPoint& p : seq.scaling) {
        std::fprintf(out, "%-6d %12.2f %16.2f\n", p.n, p.applyCpuMs, nsPerCell(seq, p));
    }
}

void printBreakdown(std::FILE* out, const SequenceResult& seq) {
    if (seq.breakdowns.empty()) return;
    std::fprintf(out,
                 "\nDADI-MERO stages, in process, RGB-D n=3, ms per frame (%lld frames; "
                 "summed over threads)\n",
                 static_cast<long long>(seq.breakdowns.front().frames()));
    std::fprintf(out, "%-22s", "stage");
    for (const BreakdownResult& b : seq.breakdowns)
        std::fprintf(out, " %16s", b.name.c_str());
    std::fprintf(out, "\n");
    for (size_t s = 0; s < kStageCount; ++s) {
        std::fprintf(out, "%-22s", dadimero::stageName(static_cast<dadimero::Stage>(s)));
        for (const BreakdownResult& b : seq.breakdowns)
            std::fprintf(out, " %16.2f", b.stageMsPerFrame(s));
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "%-22s", "sum of stages");
    for (const BreakdownResult& b : seq.breakdowns) {
        double sum = 0.0;
        for (size_t s = 0; s < kStageCount; ++s)
            sum += b.stageMsPerFrame(s);
        std::fprintf(out, " %16.2f", sum);
    }
    std::fprintf(out, "\n%-22s", "apply CPU, all threads");
    for (const BreakdownResult& b : seq.breakdowns)
        std::fprintf(out, " %16.2f", b.applyCpuMsPerFrame());
    std::fprintf(out, "\n%-22s", "wall (whole run)");
    for (const BreakdownResult& b : seq.breakdowns)
        std::fprintf(out, " %16.2f", b.wallMsPerFrame());
    std::fprintf(out, "\n");
    if (seq.mog2ApplyCpuMs > 0.0 && !seq.breakdowns.empty()) {
        const double algorithm = seq.breakdowns.front().applyCpuMsPerFrame();
        std::fprintf(out,
                     "algorithm CPU (apply, default threads) %.2f ms/frame; MOG2 apply on one "
                     "thread %.2f ms/frame: %.2f x MOG2\n",
                     algorithm, seq.mog2ApplyCpuMs, ratio(algorithm, seq.mog2ApplyCpuMs));
    }
}

// The shadow test's cost: colour detection with it on minus with it off.
void printShadowShare(std::FILE* out, const SequenceResult& seq) {
    const BreakdownResult* on = nullptr;
    const BreakdownResult* off = nullptr;
    for (const BreakdownResult& b : seq.breakdowns) {
        if (b.name == "-threads 1") on = &b;
        if (b.name == "-threads 1 -s 0") off = &b;
    }
    if (on == nullptr || off == nullptr || on->samples.empty() || off->samples.empty()) return;
    const auto detection = static_cast<size_t>(dadimero::Stage::ColourDetection);
    const double withShadow = on->stageMsPerFrame(detection);
    const double without = off->stageMsPerFrame(detection);
    const double share = withShadow - without;
    std::fprintf(out,
                 "shadow test (one thread): colour detection %.2f ms/frame with -s 1, %.2f with "
                 "-s 0: %.2f ms/frame, %.0f %% of colour detection, %.0f %% of the run\n",
                 withShadow, without, share, 100.0 * ratio(share, withShadow),
                 100.0 * ratio(share, on->wallMsPerFrame()));
}

void printLive(std::FILE* out, const SequenceResult& seq) {
    if (seq.live.empty()) return;
    std::fprintf(out,
                 "\nLive: frames decoded beforehand, apply() alone, ms per frame (wall; CPU of "
                 "every thread; threads 0: the default)\n%-12s %7s %10s %10s %10s %10s %8s %8s "
                 "%9s %9s\n",
                 "config", "threads", "calib wall", "calib CPU", "online", "online CPU", "fps",
                 "x MOG2", "held MiB", "model MiB");
    for (const LiveResult& live : seq.live) {
        const double online = live.medianOf(&LiveSample::onlineWallMs);
        const double onlineCpu = live.medianOf(&LiveSample::onlineCpuMs);
        std::fprintf(out, "%-12s %7d %10.2f %10.2f %10.2f %10.2f %8.1f %8.2f %9.1f %9.1f",
                     live.name.c_str(), live.threads, live.medianOf(&LiveSample::calibrationWallMs),
                     live.medianOf(&LiveSample::calibrationCpuMs), online, onlineCpu, fps(online),
                     ratio(onlineCpu, seq.mog2ApplyCpuMs), live.medianOf(&LiveSample::heldMiB),
                     live.modelBytes / kMiB);
        if (live.failures > 0) std::fprintf(out, "  (%d failed runs)", live.failures);
        std::fprintf(out, "\n");
    }
    std::fprintf(out,
                 "(x MOG2: online CPU against MOG2's apply on one thread, %.2f ms/frame; held: "
                 "the resident memory the subtractor added)\n",
                 seq.mog2ApplyCpuMs);
}

void printTargets(std::FILE* out, const SequenceResult& seq) {
    std::fprintf(out, "\ntargets (stated for 640x480, n=3, 2 cores; the live one for 1280x720):\n");
    for (const TargetCheck& t : checkTargets(seq)) {
        if (!t.measured) {
            std::fprintf(out, "  %-44s not measured\n", t.goal.c_str());
            continue;
        }
        std::fprintf(out, "  %-44s %8.2f vs %8.2f  %s\n", t.goal.c_str(), t.value, t.limit,
                     t.met ? "met" : "NOT met");
    }
}

std::string jsonNumber(double value) {
    if (std::isnan(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

void printMethodJson(std::FILE* out, const MethodResult& m, double floorMs, double mog2Ms) {
    const double ms = m.msPerFrame();
    std::fprintf(out,
                 "{\"name\":%s,\"frames\":%lld,\"ms_per_frame\":%.4f,\"fps\":%.3f,"
                 "\"ratio_to_io_floor\":%.4f,\"ratio_to_mog2\":%.4f,\"peak_rss_kb\":%ld,"
                 "\"model_bytes\":%.0f,\"f_measure\":%s,\"failed_runs\":%d,\"seconds\":[",
                 jsonString(m.name).c_str(), static_cast<long long>(m.frames), ms, fps(ms),
                 ratio(ms, floorMs), ratio(ms, mog2Ms), m.maxPeakRssKb(), m.modelBytes,
                 jsonNumber(m.fMeasure).c_str(), m.failures);
    for (size_t i = 0; i < m.seconds.size(); ++i)
        std::fprintf(out, "%s%.4f", i == 0 ? "" : ",", m.seconds[i]);
    std::fprintf(out, "]}");
}

void printBreakdownJson(std::FILE* out, const BreakdownResult& b) {
    std::fprintf(out,
                 "{\"name\":%s,\"frames\":%lld,\"wall_ms_per_frame\":%.4f,"
                 "\"apply_cpu_ms_per_frame\":%.4f,\"stages\":{",
                 jsonString(b.name).c_str(), static_cast<long long>(b.frames()), b.wallMsPerFrame(),
                 b.applyCpuMsPerFrame());
    for (size_t s = 0; s < kStageCount; ++s) {
        std::fprintf(out, "%s%s:%.4f", s == 0 ? "" : ",",
                     jsonString(dadimero::stageName(static_cast<dadimero::Stage>(s))).c_str(),
                     b.stageMsPerFrame(s));
    }
    std::fprintf(out, "},\"failed_runs\":%d}", b.failures);
}

}  // namespace

void printTable(std::FILE* out, const BenchReport& report) {
    for (const SequenceResult& seq : report.sequences) {
        const BenchSequence& l = seq.layout;
        std::fprintf(out,
                     "\n== %s: %dx%d, frames %d..%d, masks %d..%d; median of %d runs; peak "
                     "memory is the largest run ==\n",
                     l.dir.c_str(), l.width, l.height, BenchSequence::kFirstFrame, l.toIdx,
                     l.fromIdx, l.toIdx, report.repeat);
        printMethods(out, seq);
        printBreakdown(out, seq);
        printShadowShare(out, seq);
        printLive(out, seq);
        printScaling(out, seq);
        printTargets(out, seq);
    }
    // Cost by image size: n = 3, one thread, per pixel.
    const SequenceResult* smallest = nullptr;
    const SequenceResult* largest = nullptr;
    std::fprintf(out, "\nCost by image size, RGB-D n=3, one thread:\n%-12s %12s %14s\n", "size",
                 "ms/frame", "ns per pixel");
    for (const SequenceResult& seq : report.sequences) {
        for (const ScalingPoint& p : seq.scaling) {
            if (p.n != 3 || p.applyCpuMs <= 0.0) continue;
            std::fprintf(out, "%5dx%-6d %12.2f %14.2f\n", seq.layout.width, seq.layout.height,
                         p.applyCpuMs, 1e6 * p.applyCpuMs / seq.pixels());
            if (smallest == nullptr || seq.pixels() < smallest->pixels()) smallest = &seq;
            if (largest == nullptr || seq.pixels() > largest->pixels()) largest = &seq;
        }
    }
    if (smallest != nullptr && largest != smallest) {
        auto perPixel = [](const SequenceResult& seq) {
            for (const ScalingPoint& p : seq.scaling)
                if (p.n == 3) return p.applyCpuMs / seq.pixels();
            return 0.0;
        };
        const double growth = ratio(perPixel(*largest), perPixel(*smallest));
        std::fprintf(out, "  cost per pixel, %dx%d against %dx%d: %.2f\n", largest->layout.width,
                     largest->layout.height, smallest->layout.width, smallest->layout.height,
                     growth);
    }
    std::fprintf(out,
                 "\nDADI-MERO start-up alone (no arguments): %.3f s, peak %.1f MiB; "
                 "benchmark parent peak %.1f MiB\n",
                 median(report.startupSeconds),
                 static_cast<double>(report.startupPeakRssKb) / 1024.0,
                 static_cast<double>(report.parentRssKb) / 1024.0);
}

void printJson(std::FILE* out, const BenchReport& report) {
    std::fprintf(out,
                 "{\"repeat\":%d,\"parent_peak_rss_kb\":%ld,\"startup_seconds\":%.4f,"
                 "\"startup_peak_rss_kb\":%ld,\"sequences\":[",
                 report.repeat, report.parentRssKb, median(report.startupSeconds),
                 report.startupPeakRssKb);
    for (size_t i = 0; i < report.sequences.size(); ++i) {
        const SequenceResult& seq = report.sequences[i];
        const BenchSequence& l = seq.layout;
        std::fprintf(out,
                     "%s{\"dir\":%s,\"width\":%d,\"height\":%d,\"first_frame\":%d,"
                     "\"first_mask\":%d,\"last_frame\":%d,\"methods\":[",
                     i == 0 ? "" : ",", jsonString(l.dir).c_str(), l.width, l.height,
                     BenchSequence::kFirstFrame, l.fromIdx, l.toIdx);
        const MethodResult* floor = seq.find(MethodKind::IoFloor);
        const MethodResult* mog2 = seq.find(MethodKind::Mog2);
        const double floorMs = floor != nullptr ? floor->msPerFrame() : 0.0;
        const double mog2Ms = mog2 != nullptr ? mog2->msPerFrame() : 0.0;
        for (size_t m = 0; m < seq.methods.size(); ++m) {
            if (m > 0) std::fprintf(out, ",");
            printMethodJson(out, seq.methods[m], floorMs, mog2Ms);
        }
        std::fprintf(out, "],\"breakdowns\":[");
        for (size_t b = 0; b < seq.breakdowns.size(); ++b) {
            if (b > 0) std::fprintf(out, ",");
            printBreakdownJson(out, seq.breakdowns[b]);
        }
        std::fprintf(out, "],\"live\":[");
        for (size_t v = 0; v < seq.live.size(); ++v) {
            const LiveResult& live = seq.live[v];
            std::fprintf(out,
                         "%s{\"name\":%s,\"threads\":%d,\"calibration_wall_ms\":%.4f,"
                         "\"calibration_cpu_ms\":%.4f,\"online_wall_ms\":%.4f,"
                         "\"online_cpu_ms\":%.4f,\"held_mib\":%.2f,\"model_bytes\":%.0f,"
                         "\"failed_runs\":%d}",
                         v == 0 ? "" : ",", jsonString(live.name).c_str(), live.threads,
                         live.medianOf(&LiveSample::calibrationWallMs),
                         live.medianOf(&LiveSample::calibrationCpuMs),
                         live.medianOf(&LiveSample::onlineWallMs),
                         live.medianOf(&LiveSample::onlineCpuMs),
                         live.medianOf(&LiveSample::heldMiB), live.modelBytes, live.failures);
        }
        std::fprintf(out, "],\"mog2_apply_cpu_ms\":%.4f,\"scaling\":[", seq.mog2ApplyCpuMs);
        for (size_t p = 0; p < seq.scaling.size(); ++p) {
            const ScalingPoint& point = seq.scaling[p];
            std::fprintf(out,
                         "%s{\"n\":%d,\"frames\":%lld,\"apply_cpu_ms\":%.4f,"
                         "\"ns_per_pixel_cell\":%.4f}",
                         p == 0 ? "" : ",", point.n, static_cast<long long>(point.frames),
                         point.applyCpuMs, nsPerCell(seq, point));
        }
        std::fprintf(out, "],\"targets\":[");
        const std::vector<TargetCheck> checks = checkTargets(seq);
        for (size_t t = 0; t < checks.size(); ++t) {
            std::fprintf(out,
                         "%s{\"goal\":%s,\"measured\":%s,\"value\":%.4f,\"limit\":%.4f,"
                         "\"met\":%s}",
                         t == 0 ? "" : ",", jsonString(checks[t].goal).c_str(),
                         checks[t].measured ? "true" : "false", checks[t].value, checks[t].limit,
                         checks[t].met ? "true" : "false");
        }
        std::fprintf(out, "]}");
    }
    std::fprintf(out, "]}\n");
}
