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

// Initializes the library with the benchmarks taking turns, so a busy spell
// on the machine hits both sides of a ratio alike. `args` keeps the
// arguments for as long as argv is used.
inline void InitializeTakingTurns(int& argc, char**& argv, std::vector<char*>& args) {
    static std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.assign(argv, argv + argc);
    args.insert(args.begin() + 1, interleave.data());
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
}

} // namespace bench
