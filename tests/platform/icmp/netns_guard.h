// Guards for tests that send ICMP beyond loopback: they run only inside a private network
// namespace without a default route, as made by tools/netns/netns_run.sh.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace netns_guard {

// True when /proc/net/route lists a default route (destination and mask both zero).
inline bool has_default_route() {
  FILE* routes = fopen("/proc/net/route", "r");
  if (routes == nullptr) return true;  // cannot tell: assume the worst
  char line[512];
  bool found = false;
  if (fgets(line, sizeof line, routes) != nullptr) {  // column titles
    while (fgets(line, sizeof line, routes) != nullptr) {
      char device[64], destination[16], gateway[16], mask[16];
      unsigned flags, refs, use, metric;
      if (sscanf(line, "%63s %15s %15s %x %u %u %u %15s", device, destination, gateway,
                 &flags, &refs, &use, &metric, mask) == 8 &&
          strcmp(destination, "00000000") == 0 && strcmp(mask, "00000000") == 0) {
        found = true;
      }
    }
  }
  fclose(routes);
  return found;
}

// True when this process shares the network namespace of process 1 (the machine's own)
// or of the shell that started netns_run.sh (NETNS_OUTER, "device:inode"), or when
// neither can be checked.
inline bool in_machine_namespace() {
  struct stat ours, machine;
  if (stat("/proc/self/ns/net", &ours) != 0) return true;
  bool checked = false;
  if (stat("/proc/1/ns/net", &machine) == 0) {
    if (ours.st_ino == machine.st_ino && ours.st_dev == machine.st_dev) return true;
    checked = true;
  }
  const char* outer = getenv("NETNS_OUTER");
  if (outer != nullptr) {
    unsigned long long device = 0, inode = 0;
    if (sscanf(outer, "%llu:%llu", &device, &inode) != 2) return true;
    if (ours.st_ino == inode && ours.st_dev == device) return true;
    checked = true;
  }
  return !checked;
}

// Why sending beyond loopback is not allowed here, or empty when it is.
inline std::string refusal() {
  if (getenv("NETNS_PROBE") == nullptr) return "not started by tools/netns/netns_run.sh";
  if (in_machine_namespace()) return "running in the machine's own network namespace";
  if (has_default_route()) return "this namespace has a default route";
  return "";
}

inline std::string env_or_empty(const char* name) {
  const char* value = getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace netns_guard
