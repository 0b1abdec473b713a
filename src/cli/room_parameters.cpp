// `zentor room-parameters`: the large-room window's parameter table of one curve.
#include <cstdio>

#include "cli/commands.h"
#include "cli/headless.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "mainwindow/data_plotter.h"
#include "tools/room_parameters.h"

namespace zentor::cli {

const SubcommandSpec kRoomParametersSpec{
    "room-parameters",
    "IN.cfa [--curve N] [--json]",
    "Room-acoustic parameters of a measured curve (EDT, T20, T30, C50, C80, D50, Ts, INR)\n"
    "per octave band and broadband, as the large-room window's table gives them.",
    {{"--curve", "N", "the curve (default 1)"},
     {"--json", "", "one JSON object on standard output (CSV otherwise)"},
     {"--help", "", "this text"}},
    1,
    1};

int RoomParameters(const Arguments& args) {
  HeadlessSession session(true);
  session.Dialogs().QueueFile(args.positional[0]);
  // Opening draws the set, and a silent curve among it says so; whether the curve
  // asked for is silent is this command's to say.
  session.Dialogs().HoldMessages();
  session.Main().OpenFile_Click();
  const int32_t loaded = ResultsDataSetInfo[0].NumInSet;
  session.Dialogs().ReleaseMessages(
      [loaded](const std::string& text) { return loaded > 0 && text.starts_with(kNoInputDataMessage); });
  // The reader has said why it refused a file; a set it took that holds no curve is
  // this command's to name.
  if (loaded < 1) throw CommandFailed(session.Dialogs().Messages().empty() ? args.positional[0] + " holds no curve" : "");
  const int32_t curve = args.Whole("--curve", 1, loaded, 1);
  zentor::RoomParameters p;
  std::string error;
  if (!RoomParametersOfResult(curve, p, error)) throw CommandFailed(error);
  const std::string text = args.Has("--json") ? RoomParametersJson(p) : RoomParametersCsv(p);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

}  // namespace zentor::cli
