#include "cli/command_line.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/headless.h"

namespace zentor::cli {

namespace {

struct Subcommand {
  const SubcommandSpec* command;
  std::function<int(const Arguments&)> run;
};

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> list{
      {&kDescribeSpec, Describe},
      {&kMeasureSpec, Measure},
      {&kFitSpec, Fit},
      {&kRoomParametersSpec, RoomParameters},
      {&kExportFiltersSpec, ExportFilters},
      {&kImportFiltersSpec, ImportFilters},
      {&kExportCurveSpec, ExportCurve},
  };
  return list;
}

const Subcommand* Find(const std::string& name) {
  for (const Subcommand& s : Subcommands())
    if (s.command->name == name) return &s;
  return nullptr;
}

bool AsksForHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

void PrintOverview() {
  std::string text =
      "Usage: zentor [FILE]             the main window (a .cfa or .EQ file opens)\n"
      "       zentor SUBCOMMAND [OPTIONS] without a window or a desktop\n\nSubcommands:\n";
  // Each summary whole, wrapped at word boundaries under its own column.
  constexpr size_t kIndent = 18, kWidth = 80;
  for (const Subcommand& s : Subcommands()) {
    std::string line = "  " + s.command->name;
    line.resize(kIndent, ' ');
    size_t used = kIndent;
    std::string summary = s.command->summary;
    std::replace(summary.begin(), summary.end(), '\n', ' ');
    for (size_t at = 0; at < summary.size();) {
      const size_t end = std::min(summary.find(' ', at), summary.size());
      const std::string word = summary.substr(at, end - at);
      at = end + 1;
      if (word.empty()) continue;
      if (used > kIndent && used + 1 + word.size() > kWidth) {
        line += "\n" + std::string(kIndent, ' ');
        used = kIndent;
      } else if (used > kIndent) {
        line += ' ';
        ++used;
      }
      line += word;
      used += word.size();
    }
    text += line + "\n";
  }
  text +=
      "\n\"zentor SUBCOMMAND --help\" lists its options. Exit status: 0 done, 1 the command failed\n"
      "(the last message says why), 2 a usage error.\n";
  std::fputs(text.c_str(), stdout);
}

}  // namespace

bool IsCommandLineRun(int argc, const char* const* argv) {
  if (argc < 2) return false;
  const std::string first = argv[1];
  if (AsksForHelp(first) || Find(first) != nullptr) return true;
  // A bare word that names no file is a mistyped subcommand, not a file to open.
  const bool word = first.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == std::string::npos;
  return word && !first.empty() && first[0] != '-' && !QFileInfo::exists(QString::fromStdString(first));
}

int RunCommandLine(int argc, const char* const* argv) {
  const std::string first = argc >= 2 ? argv[1] : "";
  if (AsksForHelp(first)) {
    if (argc >= 3 && Find(argv[2]) != nullptr) {
      std::fputs(HelpText(*Find(argv[2])->command).c_str(), stdout);
    } else {
      PrintOverview();
    }
    return 0;
  }
  const Subcommand* sub = Find(first);
  if (sub == nullptr) {
    SayOnStderr("unknown subcommand \"" + first + "\" (see zentor --help)");
    return 2;
  }
  const std::vector<std::string> words(argv + 2, argv + argc);
  for (const std::string& w : words) {
    if (w == "--help") {
      std::fputs(HelpText(*sub->command).c_str(), stdout);
      return 0;
    }
  }
  try {
    return sub->run(ParseArguments(*sub->command, words));
  } catch (const UsageError& e) {
    SayOnStderr(e.what());
    return 2;
  } catch (const CommandFailed& e) {
    // An empty text: the program's own message has been shown already.
    if (*e.what() != '\0') SayOnStderr(e.what());
    return 1;
  }
}

}  // namespace zentor::cli
