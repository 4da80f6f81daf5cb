#pragma once
// Keeps the fastest repetition of each benchmark: on a shared machine the
// minimum is the figure least disturbed by other work.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class FastestReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;    // per iteration, by family name
    std::map<std::string, double> cpuSeconds; // the same in the thread's CPU time

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            const double t = run.real_accumulated_time / static_cast<double>(run.iterations);
            if (!seconds.count(name) || t < seconds[name]) seconds[name] = t;
            const double cpu = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            if (!cpuSeconds.count(name) || cpu < cpuSeconds[name]) cpuSeconds[name] = cpu;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace bench
