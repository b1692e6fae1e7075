#include "BenchReport.h"

#include <algorithm>
#include <cstdio>

#include "foundation/Timer.h"

double BestSeconds(int repeats, std::function<void()> const& run) {
    double best = 0.0;
    for (int i = 0; i < repeats; ++i) {
        Timer timer(true);
        run();
        double seconds = timer.GetTimeInSec();
        if (i == 0 || seconds < best) {
            best = seconds;
        }
    }
    return best;
}

BenchTimes CompareBest(int repeats, std::function<void()> const& subject,
                       std::function<void()> const& baseline) {
    BenchTimes best = {BestSeconds(1, subject), BestSeconds(1, baseline)};
    for (int i = 1; i < repeats; ++i) {
        best.subject = std::min(best.subject, BestSeconds(1, subject));
        best.baseline = std::min(best.baseline, BestSeconds(1, baseline));
    }
    return best;
}

void PrintMeasurement(std::string const& name, double bytes, double seconds, std::string const& baseline,
                      double baselineSeconds) {
    double rate = bytes / seconds;
    double baselineRate = bytes / baselineSeconds;
    std::printf(
        "{\"name\": \"%s\", \"bytes\": %.0f, \"seconds\": %.6f, \"rate\": %.4g, \"baseline\": \"%s\", "
        "\"baseline_rate\": %.4g, \"ratio\": %.4f}\n",
        name.c_str(), bytes, seconds, rate, baseline.c_str(), baselineRate, rate / baselineRate);
    std::fflush(stdout);
}
