// The measuring part the idle probes share: wait out the settling time, then report the
// process's CPU over the whole run and per second once settled.
#pragma once

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

inline double idle_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double idle_wall_seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Sleeps until `seconds` after wall_start and prints the line idle_cpu.sh reads. After
// the first five seconds an idle output has closed: from then on is the steady cost.
inline void idle_measure_until(double wall_start, int seconds) {
  constexpr double SETTLE_SECONDS = 5;
  double settle = SETTLE_SECONDS - (idle_wall_seconds() - wall_start);
  if (settle > 0) usleep(static_cast<useconds_t>(settle * 1e6));
  double settled_cpu = idle_cpu_seconds(), settled_wall = idle_wall_seconds();
  double remaining = seconds - (idle_wall_seconds() - wall_start);
  if (remaining > 0) usleep(static_cast<useconds_t>(remaining * 1e6));
  std::printf("cpu_seconds=%.4f steady_cpu_per_second=%.6f wall_seconds=%.3f\n",
              idle_cpu_seconds(),
              (idle_cpu_seconds() - settled_cpu) / (idle_wall_seconds() - settled_wall),
              idle_wall_seconds() - wall_start);
}
