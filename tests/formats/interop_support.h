// Running the other programs the interoperability tests compare against.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace skylode::interop {

// The command's standard output; `status` gets pclose's result.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// scripts/install-deps installs the tools: in CI a missing one is a fault of
// the machine, and a skip there would hide it.
inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

}  // namespace skylode::interop

#define REQUIRE_TOOL(name)                                                                        \
  do {                                                                                            \
    if (!::skylode::interop::HaveTool(name)) {                                                    \
      if (::skylode::interop::InCi()) FAIL() << name " not installed (scripts/install-deps installs it)"; \
      GTEST_SKIP() << name " not installed";                                                      \
    }                                                                                             \
  } while (0)
