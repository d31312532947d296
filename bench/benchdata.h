#pragma once

#include <QString>
#include <algorithm>
#include <functional>
#include <vector>

// A realistic register for the benchmarks: 1,000 Chinese customer names, unique IPs and numbers,
// dates over fifteen years, remarks of 0 to 200 characters. The file must be a new register.
bool fillRegister(const QString &path, int servers);

// The peak resident memory of this process so far, in MiB.
long peakRssMiB();

// Times of one measured thing, in milliseconds.
struct Times {
    std::vector<double> ms;
    double median() const;
    double min() const { return *std::min_element(ms.begin(), ms.end()); }
    double max() const { return *std::max_element(ms.begin(), ms.end()); }
};

double timeMs(const std::function<void()> &work);

// A figure is only worth printing if the work it timed was done: when held is false this says what
// was not, and the benchmark ends with exit code 1.
void mustHold(bool held, const QString &what);

// "<what> <servers>: median ... (min ..., max ...)" and "<what> <servers>: R x floor".
void report(const char *what, int servers, const Times &t, const Times &floor);
