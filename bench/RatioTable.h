// The one table the benchmark run ends with: each reader's median throughput
// and its ratios to the memcpy floor, the bare record loop and the loop a
// caller writes by hand.
#ifndef VOKDSP_BENCH_RATIOTABLE_H
#define VOKDSP_BENCH_RATIOTABLE_H

#include <benchmark/benchmark.h>
#include <stddef.h>

#include <map>
#include <string>
#include <vector>

namespace vokdsp_bench {

// Prints as the console reporter does and keeps, per benchmark, the median
// bytes per second of its repetitions (the single run when not repeated).
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &aRuns) override;
    const std::map<std::string, double> &Medians() const { return mMedians_; }

  private:
    std::map<std::string, double> mMedians_;
};

// One corpus. Its benchmarks are named reader/NAME, reader-ahead/NAME,
// memcpy/NAME, memcpy2/NAME, bare/NAME and HANDLOOP/NAME.
struct TableRow {
    std::string sCorpus;
    size_t cbCorpus;
    size_t nRecords;
    std::string sHandLoop;  // "fread" or "getline"
    double dMinToMemcpy;    // target ratios; 0 when there is none
    double dMinToHandLoop;
};

// One measured case against its reference, with the ratio it should reach.
struct GoalRow {
    std::string sCase;
    std::string sMeasured, sReference;  // benchmark names
    double dGoal;
};

// A Markdown table: each case's MiB/s, its reference's, the ratio, met or not.
std::string sFnGoalTable(const std::vector<GoalRow> &aGoals,
                         const std::map<std::string, double> &mMedians);

// Two Markdown tables: the readers with their ratios and targets (met or not
// with the plain callback), then the baselines in MiB/s. A benchmark that did not run
// shows as "-".
std::string sFnRatioTable(const std::vector<TableRow> &aRows,
                          const std::map<std::string, double> &mMedians);

}  // namespace vokdsp_bench

#endif
