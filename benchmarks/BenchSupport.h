// Measuring with a baseline from the same run: these machines are shared and noisy, so a
// time alone says little; its ratio to a baseline taken in the same loop says more.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Runs subject and baseline alternately; the benchmark's time is the subject's, and the
// counters give the baseline's time and the ratio of the two.
template <typename Subject, typename Baseline>
void Interleaved(benchmark::State& state, Subject subject, Baseline baseline) {
  double subjectSeconds = 0, baselineSeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    subject();
    auto t1 = Clock::now();
    baseline();
    auto t2 = Clock::now();
    state.SetIterationTime(Seconds(t0, t1));
    subjectSeconds += Seconds(t0, t1);
    baselineSeconds += Seconds(t1, t2);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["baseline_us"] = baselineSeconds / n * 1e6;
  state.counters["ratio"] = subjectSeconds / baselineSeconds;
}

inline double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[std::min(i, samples.size() - 1)];
}

// Processor time this process has used, user and system, in seconds.
inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident memory of this process in kB: now ("VmRSS") or at its peak ("VmHWM").
inline long MemoryKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field) + 1));
  }
  return -1;
}

}  // namespace bench
