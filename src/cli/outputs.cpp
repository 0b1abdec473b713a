#include "cli/outputs.h"

#include "cli/arguments.h"
#include "core/helpers.h"

namespace zentor::cli {

std::string Outputs::Named(const std::string& option, const std::string& value, const std::string& extension) {
  const std::optional<std::string> name = SaveFileName(value, extension);
  if (!name && EndsInBlankOrDot(value))
    throw UsageError(option + " may not end in a blank or a dot, as \"" + value + "\" does");
  if (!name) throw UsageError(option + " needs a file name, not \"" + value + "\"");
  return *name;
}

void Outputs::Check(const std::vector<std::string>& paths) {
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& out = paths[i];
    for (const std::string& in : inputs_)
      if (!in.empty() && SameFile(out, in))
        throw UsageError(out + " is the input " + in + ": write the output under another name");
    for (size_t j = 0; j < i; ++j)
      if (SameFile(out, paths[j])) throw UsageError(out + " and " + paths[j] + " are the same file: give two names");
    if (!force_ && !mayExist_ && FileExists(out)) throw CommandFailed(out + " already exists; --force replaces it");
  }
  std::string failed, why;
  if (!files_.Prepare(paths, failed, &why))
    throw CommandFailed(failed + " cannot be written there (" + why + "); nothing was written");
  paths_.insert(paths_.end(), paths.begin(), paths.end());
}

}  // namespace zentor::cli
