// Runs every benchmark of the program and, after the usual table, prints for
// each case how the library's time compares with the reference measured in
// the same run. Naming: "<case>/reference..." is the reference of a case, and
// every other "<case>/<name>" is compared with it.
#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <set>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0) continue;
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                // With --benchmark_repetitions the median stands for the case.
                if (run.aggregate_name != "median") continue;
                seconds_[name] = seconds;
                medians_.insert(name);
            } else if (medians_.count(name) == 0) {
                seconds_[name] = seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        std::ostream& out = GetOutputStream();
        out << "\nTime relative to the reference of each case (below 1 is faster):\n";
        for (const auto& [name, seconds] : seconds_) {
            const auto slash = name.find('/');
            if (slash == std::string::npos || isReference(name, slash)) continue;
            const double* reference = referenceOf(name.substr(0, slash));
            if (reference == nullptr || *reference <= 0.0) continue;
            out << "  " << name << ": " << seconds / *reference << '\n';
        }
        ConsoleReporter::Finalize();
    }

private:
    static bool isReference(const std::string& name, std::size_t slash) {
        return name.compare(slash + 1, 9, "reference") == 0;
    }

    const double* referenceOf(const std::string& caseName) const {
        for (const auto& [name, seconds] : seconds_) {
            if (name.compare(0, caseName.size() + 1, caseName + "/") == 0 &&
                isReference(name, caseName.size()))
                return &seconds;
        }
        return nullptr;
    }

    std::map<std::string, double> seconds_;
    std::set<std::string> medians_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
