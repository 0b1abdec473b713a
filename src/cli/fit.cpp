// `zentor fit`: opens a measurement set, shows the chosen view of a curve, fits
// as the Fit button does, applies every listed mode as the new-filter dialog's
// Apply does, and saves the applied list as an .EQ file (and the settings report).
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "cli/commands.h"
#include "cli/headless.h"
#include "cli/outputs.h"
#include "core/helpers.h"
#include "core/records.h"
#include "display/display_options.h"
#include "display/view_state.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/modes_list.h"
#include "eqdesign/user_select.h"
#include "exchange/filter_export.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"

namespace zentor::cli {

const SubcommandSpec kFitSpec{
    "fit",
    "IN.cfa --eq OUT.EQ [OPTIONS]",
    "Fits filters to a measured response as the Fit button does, applies every listed mode\n"
    "and saves the applied filters as an .EQ file.",
    {{"--eq", "OUT.EQ", "the filter file to write"},
     {"--report", "OUT.txt", "also write the settings report (Textual EQ Settings List)"},
     {"--curve", "N", "the curve to fit (default 1)"},
     {"--average", "", "fit the average of the curves"},
     {"--view", "bode|fractoct|psyc", "the frequency view the fit works on (default bode)"},
     {"--gate", "MS", "the view's gate time in ms (bode 0.1 to 2000, fractoct 1 to 2000);\n"
                      "a fit range reaching below 1000/MS Hz is refused"},
     {"--range", "LO:HI", "the fit range in Hz (default 25:80)"},
     {"--model", "1..5", "the parametric equaliser model the filters are snapped to:\n" + ParametricModelsHelp()},
     {"--max-boost", "DB", "no filter boosts more (0 to 20; 0 cuts only; default the Fit Limits')"},
     {"--max-filters", "N", "at most N filters (1 to 75)"},
     {"--target", "FILE", "correct towards a target curve: lines of \"frequency dB\""},
     {"--bass-lift", "DB:HZ", "correct towards a bass lift of 0 to 12 dB below a corner of 40 to 300 Hz"},
     {"--force", "", "replace existing output files"},
     {"--json", "", "one JSON object on standard output"},
     {"--help", "", "this text"}},
    1,
    1};

namespace {

// The frequency view and its gate through the display-options window's Apply.
void ShowView(DataPlotter& main, HeadlessDialogs& dialogs, const std::string& view, std::optional<double> gate) {
  main.FreqBut->click();
  bool applied = false;
  dialogs.QueueModal([&](QDialog* d) {
    auto* o = qobject_cast<DisplayControlForm*>(d);
    if (o == nullptr) return 0;
    if (view == "bode") o->FFTRadio->click();
    else if (view == "fractoct") o->FractOctRadio->click();
    else o->PsycRadio->click();
    if (gate) (view == "bode" ? o->BodeGateTimeText : o->FractOctGateTimeText)->setText(QString::number(*gate));
    o->Apply->click();
    applied = true;
    return 0;
  });
  main.FrequencyOptions->trigger();
  if (!applied) throw CommandFailed("");
}

SingularityListRecord AppliedAsSet() {
  SingularityListRecord set;
  const int32_t n = std::clamp<int32_t>(AppliedFilters[0].Count, 0, kMaxFilters);
  for (int32_t i = 0; i < n; ++i) {
    const FilterRecord& f = AppliedFilters[static_cast<size_t>(i)];
    set.Freq[static_cast<size_t>(i)] = f.Freq1;
    set.Q1[static_cast<size_t>(i)] = f.Q1;
    set.Q2[static_cast<size_t>(i)] = f.Q2;
  }
  set.Count = n;
  return set;
}

}  // namespace

std::string ParametricModelsHelp() {
  std::string text;
  for (int32_t code = 1; code <= 5; ++code)
    text += std::to_string(code) + " " + std::string(EmulationModelName(code)) + (code == 3 ? ",\n" : code < 5 ? ", " : "");
  return text;
}

void ChooseParametricModel(HeadlessSession& session, int32_t code) {
  session.Dialogs().QueueModal([code](QDialog* d) {
    auto* o = qobject_cast<EQOpt*>(d);
    if (o == nullptr) return 0;
    QRadioButton* buttons[] = {o->ParametricBFDEmulatorBut, o->CookParametric, o->ParametricClassicEng,
                               o->BehringerFBQ2496Parm, o->BehringerDCX2496Parm};
    buttons[code - 1]->click();
    d->accept();
    return d->result();
  });
  session.Main().EQEmulation->trigger();
}

int Fit(const Arguments& args) {
  const std::string in = args.positional[0];
  if (!args.Has("--eq")) throw UsageError("--eq OUT.EQ is needed");
  const std::string view = args.Choice("--view", {"bode", "fractoct", "psyc"}, "bode");
  if (args.Has("--curve") && args.Has("--average")) throw UsageError("--curve and --average cannot be given together");
  std::optional<double> gate;
  if (args.Has("--gate")) {
    if (view == "psyc") throw UsageError("--gate applies to the bode and fractoct views (psyc has its own settings)");
    gate = args.Real("--gate", view == "bode" ? 0.1 : 1, 2000, 0);
  }
  double low = 25, high = 80;
  args.Pair("--range", 1, 24000, low, high);
  const int32_t model = args.Whole("--model", 1, 5, 0);
  const bool force = args.Has("--force");
  if (args.Has("--target") && args.Has("--bass-lift")) throw UsageError("--target and --bass-lift cannot be given together");
  std::string fault;
  FitLimits limits = LoadFitLimits(&fault);
  limits.MaxBoostDb = args.Real("--max-boost", 0, 20, limits.MaxBoostDb);
  limits.MaxFilters = args.Whole("--max-filters", 1, kMaxFilters, limits.MaxFilters);
  double lift = 0, corner = 0;
  if (args.Pair("--bass-lift", 0, 300, lift, corner)) {
    if (lift > 12 || corner < 40)
      throw UsageError("--bass-lift must be DB:HZ with 0 to 12 dB and 40 to 300 Hz (given \"" + args.Text("--bass-lift") + "\")");
    limits.Target = FitTarget{};
    limits.Target.Kind = FitTarget::Shape::BassLift;
    limits.Target.LiftDb = lift;
    limits.Target.CornerHz = corner;
  }
  if (args.Has("--target")) {
    FitTarget target;
    target.Kind = FitTarget::Shape::File;
    if (const std::string why = LoadTargetFile(args.Text("--target"), target); !why.empty()) throw CommandFailed(why);
    limits.Target = target;
  }
  // The names the save commands give the files.
  const std::string eq = Outputs::Named("--eq", args.Text("--eq"), "EQ");
  const std::string report = args.Has("--report") ? Outputs::Named("--report", args.Text("--report"), "txt") : "";
  Outputs outputs(force, {in, args.Text("--target")});
  outputs.Check(report.empty() ? std::vector<std::string>{eq} : std::vector<std::string>{eq, report});

  HeadlessSession session(true);
  session.Dialogs().MayReplace(outputs.Paths());
  // The options stand in for the stored limits for this run only.
  OverrideFitLimits(limits);
  struct Restore {
    ~Restore() { OverrideFitLimits(std::nullopt); }
  } restore;
  DataPlotter& main = session.Main();
  HeadlessDialogs& dialogs = session.Dialogs();
  dialogs.QueueFile(in);
  main.OpenFile_Click();
  const int32_t loaded = ResultsDataSetInfo[0].NumInSet;
  if (loaded < 1) throw CommandFailed("");
  const int32_t curve = args.Whole("--curve", 1, loaded, 1);

  if (model != 0) ChooseParametricModel(session, model);
  ShowView(main, dialogs, view, gate);
  if (args.Has("--average")) {
    main.avg->click();
  } else {
    main.CurveNumberText->setText(QString::number(curve));
    main.CurveNumberText_KeyPress(13);
  }
  main.SetFitRange(low, high);

  Progress progress;
  progress.Show("fitting");
  main.FitFiltersBut->click();
  const int32_t modes = std::clamp<int32_t>(ModesListContents[0].Count, 0, kMaxModes);
  if (modes == 0) throw CommandFailed("");
  const std::vector<NullRange> nulls = ListedNulls();
  if (ApplyAllModes(main) < 1) throw CommandFailed("");

  dialogs.QueueFile(eq);
  if (!main.SaveEQModel_Click()) throw CommandFailed("");
  if (!report.empty()) {
    dialogs.QueueFile(report);
    const size_t before = dialogs.Messages().size();
    main.TextEQ->trigger();
    if (dialogs.Messages().size() != before) throw CommandFailed("");
  }

  // Deviation over the range of the curve the fit worked on, before and after.
  const size_t k = args.Has("--average") ? 0 : static_cast<size_t>(curve - 1);
  const CurveArray* shown = args.Has("--average")  ? &AverageCurves
                            : view == "bode"       ? &BodeCurves
                            : view == "fractoct"   ? &FractOctCurves
                                                   : &PsycCurves;
  const CurveRecord& fitted = (*shown)[k];
  const auto n = static_cast<size_t>(std::clamp(fitted.NumPoints, 0, kMaxCurvePoints));
  const std::span<const float> f(fitted.XValues.data(), n), dB(fitted.YValues.data(), n);
  const ModalConstants& m = main.GetModalConstants();
  // Against the target where one is set, else about the response's own line.
  const std::vector<float> target = AnchoredTargetDb(limits, f, dB, m.MinFreq, m.MaxFreq);
  const auto deviation = [&](std::vector<float> levels) {
    if (target.empty()) return LogWeightedLineRmsDb(f, levels, m.MinFreq, m.MaxFreq);
    for (size_t i = 0; i < levels.size(); ++i) levels[i] -= target[i];
    return LogWeightedRmsDb(f, levels, m.MinFreq, m.MaxFreq);
  };
  const double before = deviation(std::vector<float>(dB.begin(), dB.end()));
  const double after = deviation(CorrectedResponseDb(f, dB, AppliedAsSet()));

  const PeakLevel net = AppliedSetPeak(std::span(AppliedFilters), JudgedRateHz());
  if (args.Has("--json")) {
    Json j = Json::MakeObject();
    Json range = Json::MakeArray();
    range.Push(m.MinFreq);
    range.Push(m.MaxFreq);
    j.Set("range_hz", range);
    Json listed = Json::MakeArray(), applied = Json::MakeArray();
    for (int32_t i = 0; i < modes; ++i) {
      const FilterRecord& mode = ModesListContents[static_cast<size_t>(i)];
      Json entry = FilterJson(mode);
      entry.Set("null", ModeOnNull(mode));
      listed.Push(entry);
    }
    for (int32_t i = 0; i < AppliedFilters[0].Count; ++i) applied.Push(FilterJson(AppliedFilters[static_cast<size_t>(i)]));
    j.Set("modes", listed);
    j.Set("applied", applied);
    j.Set("rms_before_db", static_cast<float>(before));
    j.Set("rms_after_db", static_cast<float>(after));
    // Rounded to the hundredth: the figure is known far better, and a user reads it off.
    j.Set("max_net_boost_db", std::round(net.db * 100) / 100 + 0.0);
    j.Set("max_net_boost_hz", net.hz > 0 ? Json(std::round(net.hz * 100) / 100) : Json());
    // The stretches deeper than the boost limit, which no filter fills.
    Json deep = Json::MakeArray();
    for (const NullRange& null : nulls) {
      Json pair = Json::MakeArray();
      pair.Push(std::round(null.LowHz * 100.0) / 100);
      pair.Push(std::round(null.HighHz * 100.0) / 100);
      deep.Push(pair);
    }
    j.Set("nulls", deep);
    PrintJson(j);
  } else {
    std::string text;
    for (int32_t i = 0; i < AppliedFilters[0].Count; ++i) text += FilterLine(AppliedFilters[static_cast<size_t>(i)]) + "\n";
    char buf[160];
    std::snprintf(buf, sizeof buf, "RMS deviation %.2f to %.2f Hz: %.2f dB before, %.2f dB after\n", m.MinFreq,
                  m.MaxFreq, before, after);
    std::string deep;
    for (const NullRange& null : nulls) deep += NullLine(null) + "\n";
    std::fputs((text + buf + NetBoostText(net) + "\n" + deep + "saved " + eq + (report.empty() ? "" : " and " + report) + "\n").c_str(), stdout);
  }
  outputs.Keep();
  return 0;
}

}  // namespace zentor::cli
