// A private PulseAudio server with a null sink for the tests that play through the real
// device (tools/pulse/pulse_server.sh), SDL pointed at it, and the recording of its monitor.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A command's standard output; "FAILED: ..." when it could not run or ended in failure.
inline std::string pulse_run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "FAILED";
  char chunk[256];
  while (std::fgets(chunk, sizeof(chunk), pipe) != nullptr) output += chunk;
  if (pclose(pipe) != 0) output = "FAILED: " + output;
  return output;
}

struct PrivatePulse {
  std::string tool = std::string(OSTRELIN_SOURCE_DIR) + "/tools/pulse/pulse_server.sh";
  std::string dir;

  // Starts the server in a new temporary folder and sends SDL's output there. Returns ""
  // on success, else what went wrong.
  std::string start() {
    char pattern[] = "/tmp/ostrelin-pulse-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return "no temporary folder";
    dir = pattern;
    std::string server = pulse_run(tool + " start " + dir);
    if (server.rfind("unix:", 0) != 0) return server;
    server.erase(server.find_last_not_of('\n') + 1);
    setenv("PULSE_SERVER", server.c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    return "";
  }
  void stop() {
    if (dir.empty()) return;
    pulse_run(tool + " stop " + dir);
    pulse_run("rm -rf " + dir);
    dir.clear();
  }
  std::string record() { return pulse_run(tool + " record " + dir + " " + recording_path()); }
  std::string stop_record() { return pulse_run(tool + " stop-record " + dir); }
  // What the sink played, as recorded: s16 stereo at 48000 Hz.
  std::vector<int16_t> recording() const {
    std::ifstream file(recording_path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }
  std::string recording_path() const { return dir + "/recording.raw"; }
};
