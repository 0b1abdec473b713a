// The files a subcommand writes, settled before it runs: a name that is one of its
// inputs' files or another output's, that exists without --force, or that cannot
// be written is refused before anything is written, and unless the run ends well
// what it wrote is taken back.
#pragma once

#include <string>
#include <vector>

#include "base/atomic_file.h"

namespace zentor::cli {

class Outputs {
 public:
  // mayExist: the outputs may stand already without --force (measure --append adds
  // to its output, which is no input here).
  Outputs(bool force, std::vector<std::string> inputs, bool mayExist = false)
      : force_(force), mayExist_(mayExist), inputs_(std::move(inputs)) {}

  // The name a save writes for an option's value (SaveFileName); a usage error
  // for a value that holds no file name.
  static std::string Named(const std::string& option, const std::string& value, const std::string& extension);

  // Checks the names and that each can be written; throws UsageError or CommandFailed.
  void Check(const std::vector<std::string>& paths);
  const std::vector<std::string>& Paths() const { return paths_; }
  // The run went well: what it wrote stays.
  void Keep() { files_.Keep(); }

 private:
  bool force_, mayExist_;
  std::vector<std::string> inputs_, paths_;
  OutputFiles files_;
};

}  // namespace zentor::cli
