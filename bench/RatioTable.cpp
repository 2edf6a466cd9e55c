#include "RatioTable.h"

#include <stdio.h>

namespace vokdsp_bench {

namespace {

constexpr double dMiB = 1024.0 * 1024.0;

// Median bytes per second of a benchmark, 0 when it did not run.
double dFnRate(const std::map<std::string, double> &mMedians, const std::string &sName) {
    const auto it = mMedians.find(sName);
    return it == mMedians.end() ? 0 : it->second;
}

std::string sFnFormat(const char *lpszFormat, double d) {
    char sz[32];
    snprintf(sz, sizeof sz, lpszFormat, d);
    return sz;
}

std::string sFnMiBs(double dRate) {
    return dRate > 0 ? sFnFormat("%.0f", dRate / dMiB) : "-";
}

std::string sFnRatio(double dRate, double dBase) {
    return dRate > 0 && dBase > 0 ? sFnFormat("%.2f", dRate / dBase) : "-";
}

// "≥ 0.50 × memcpy, ≥ 3.00 × fread" and whether the run meets it.
void vFnTarget(const TableRow &row, double dReader, double dMemcpy, double dHand,
               std::string *lpsTarget, std::string *lpsMet) {
    std::string sTarget;
    bool fMet = dReader > 0;
    if (row.dMinToMemcpy > 0) {
        sTarget = sFnFormat(">= %.2f x memcpy", row.dMinToMemcpy);
        fMet = fMet && dMemcpy > 0 && dReader / dMemcpy >= row.dMinToMemcpy;
    }
    if (row.dMinToHandLoop > 0) {
        if (!sTarget.empty()) sTarget += ", ";
        sTarget += sFnFormat(">= %.2f x ", row.dMinToHandLoop) + row.sHandLoop;
        fMet = fMet && dHand > 0 && dReader / dHand >= row.dMinToHandLoop;
    }
    *lpsTarget = sTarget.empty() ? "-" : sTarget;
    *lpsMet = sTarget.empty() || dReader <= 0 ? "-" : fMet ? "yes" : "NO";
}

}  // namespace

void MedianReporter::ReportRuns(const std::vector<Run> &aRuns) {
    ConsoleReporter::ReportRuns(aRuns);
    for (const Run &run : aRuns) {
        if (run.error_occurred) continue;
        const bool fMedian =
            run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool fSingle = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        const auto it = run.counters.find("bytes_per_second");
        if ((fMedian || fSingle) && it != run.counters.end())
            mMedians_[run.run_name.function_name] = it->second.value;
    }
}

std::string sFnGoalTable(const std::vector<GoalRow> &aGoals,
                         const std::map<std::string, double> &mMedians) {
    std::string s =
        "| case | MiB/s | reference | reference MiB/s | ratio | goal | met |\n"
        "|---|---:|---|---:|---:|---:|---|\n";
    for (const GoalRow &goal : aGoals) {
        const double dRate = dFnRate(mMedians, goal.sMeasured);
        const double dBase = dFnRate(mMedians, goal.sReference);
        const bool fRan = dRate > 0 && dBase > 0;
        s += "| " + goal.sCase + " | " + sFnMiBs(dRate) + " | " + goal.sReference +
             " | " + sFnMiBs(dBase) + " | " + sFnRatio(dRate, dBase) + " | " +
             sFnFormat(">= %.2f", goal.dGoal) + " | " +
             (!fRan                         ? "-"
              : dRate / dBase >= goal.dGoal ? "yes"
                                            : "NO") +
             " |\n";
    }
    return s;
}

std::string sFnRatioTable(const std::vector<TableRow> &aRows,
                          const std::map<std::string, double> &mMedians) {
    std::string s =
        "| corpus | reader MiB/s | x memcpy | x memcpy twice | x bare loop | x hand loop "
        "| target | met | read ahead MiB/s | x memcpy |\n"
        "|---|---:|---:|---:|---:|---:|---|---|---:|---:|\n";
    for (const TableRow &row : aRows) {
        const double dReader = dFnRate(mMedians, "reader/" + row.sCorpus);
        const double dMemcpy = dFnRate(mMedians, "memcpy/" + row.sCorpus);
        const double dTwice = dFnRate(mMedians, "memcpy2/" + row.sCorpus);
        const double dBare = dFnRate(mMedians, "bare/" + row.sCorpus);
        const double dHand = dFnRate(mMedians, row.sHandLoop + "/" + row.sCorpus);
        const double dAhead = dFnRate(mMedians, "reader-ahead/" + row.sCorpus);
        std::string sTarget, sMet;
        vFnTarget(row, dReader, dMemcpy, dHand, &sTarget, &sMet);
        s += "| " + row.sCorpus + " | " + sFnMiBs(dReader) + " | " +
             sFnRatio(dReader, dMemcpy) + " | " + sFnRatio(dReader, dTwice) + " | " +
             sFnRatio(dReader, dBare) + " | " + sFnRatio(dReader, dHand) + " (" +
             row.sHandLoop + ") | " + sTarget + " | " + sMet + " | " + sFnMiBs(dAhead) +
             " | " + sFnRatio(dAhead, dMemcpy) + " |\n";
    }
    s += "\n| corpus | MiB | records | memcpy MiB/s | memcpy twice MiB/s | bare loop "
         "MiB/s "
         "| hand loop | hand loop MiB/s |\n|---|---:|---:|---:|---:|---:|---|---:|\n";
    for (const TableRow &row : aRows) {
        s += "| " + row.sCorpus + " | " + sFnFormat("%.1f", row.cbCorpus / dMiB) + " | " +
             std::to_string(row.nRecords) + " | " +
             sFnMiBs(dFnRate(mMedians, "memcpy/" + row.sCorpus)) + " | " +
             sFnMiBs(dFnRate(mMedians, "memcpy2/" + row.sCorpus)) + " | " +
             sFnMiBs(dFnRate(mMedians, "bare/" + row.sCorpus)) + " | " + row.sHandLoop +
             " | " + sFnMiBs(dFnRate(mMedians, row.sHandLoop + "/" + row.sCorpus)) +
             " |\n";
    }
    return s;
}

}  // namespace vokdsp_bench
