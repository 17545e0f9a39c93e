#pragma once

#include <cstdio>
#include <vector>

#include "bench_results.hpp"

// What is printed about every run, for people and for scripts.
struct BenchReport {
    int repeat = 0;
    long parentRssKb = 0;
    // DADI-MERO run with no arguments: the cost of starting the process alone.
    std::vector<double> startupSeconds;
    long startupPeakRssKb = 0;
    std::vector<SequenceResult> sequences;
};

void printTable(std::FILE* out, const BenchReport& report);
void printJson(std::FILE* out, const BenchReport& report);
