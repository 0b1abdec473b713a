// The curves of a view saved as text: "Text Export" of the main graph, and the
// same from a measurement file without a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zentor {

enum class CurveTextFormat { Csv, Frd };

// "Text Export": asks the file name (the extension chosen, .csv or .frd, sets the
// format) and writes the curves the main graph shows. Every refusal is told.
void ExportCurvesOfViewShown();

struct CurveExportRequest {
  std::string input;            // a measurement file (.cfa)
  std::string view;             // bode, fractoct, psyc, impulse, noise or modal
  std::optional<float> gateMs;  // unset: the gate stored with the file
  int32_t curve = 0;            // 1-based; 0: every curve
  CurveTextFormat format = CurveTextFormat::Csv;
  std::string output;           // FRD of several curves: "<stem>_<n>.<ext>" each
};

// Loads the file in place of the set held, computes the view as the main graph
// would (no average, no normalising) and gives each file's name and text. Empty
// when done, else why not, in the program's words.
std::string CurveTextFiles(const CurveExportRequest& r, std::vector<std::pair<std::string, std::string>>& files);

// The same, written through the atomic writer.
std::string ExportCurveText(const CurveExportRequest& r);

}  // namespace zentor
