// Building received text for the Flytec parser tests.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "access/sentence.h"

namespace skylode::flytec::testing {

// "$body*HH\r\n" with the checksum worked out by the shared sentence code.
inline std::string Sentence(std::string_view body) {
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", SentenceChecksum(body));
  return "$" + std::string(body) + "*" + digits + "\r\n";
}

// Feeds every byte; returns the first result that is not `ok`, or `ok`.
template <typename Parser>
int FeedAll(Parser& parser, std::string_view text, int ok = 1) {
  for (char c : text) {
    const int r = parser.Feed(static_cast<uint8_t>(c));
    if (r != ok) return r;
  }
  return ok;
}

}  // namespace skylode::flytec::testing
