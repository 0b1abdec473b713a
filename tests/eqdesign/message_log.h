// Collects the messages an equaliser routine reports through its sink.
#pragma once

#include <string>
#include <vector>

#include "eqdesign/fit/fit_records.h"

namespace zentor::test {

struct MessageLog {
  std::vector<std::string> texts;
  MessageSink sink() {
    return [this](const std::string& t) { texts.push_back(t); };
  }
};

}  // namespace zentor::test
