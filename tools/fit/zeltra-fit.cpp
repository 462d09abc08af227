// zeltra-fit FILE [--check | --check=csv]: reads a calibration file, fits the
// affine registration on its point lines and prints the report lines as the
// Transforms window shows them, then the three formula lines of the Track view,
// one per line ("\n"). With --check the landmark check follows (its plain-text
// table); with --check=csv the check's CSV is printed instead of the report and
// the formula lines, so that the output is the CSV alone.
//
// Exit status: 0 when the fit ran without a message; 1 when the fit showed a
// message (written to standard error; the report lines it produced are still
// printed, or none when it refused to run); 2 for a usage, file or format error;
// 3 when the landmarks' tracker positions cannot determine the map (all in one
// plane, on one line or at one point): the message is written to standard error
// and the report lines, which say the same, to standard output.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "reg/CalibFile.h"
#include "Interfaces.h"
#include "SafeFile.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"
#include "reg/TrackView.h"

namespace {

// Fit messages go to standard error, one per line.
class StderrPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    ++count;
  }
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "%s\n", ErrorBoxText(text).c_str());
    ++count;
  }
  int count = 0;
};

constexpr const char* kUsage =
    "usage: zeltra-fit FILE [--check | --check=csv]\n"
    "  prints the fit report of the calibration FILE and its formula lines\n"
    "  --check      then the landmark check: residuals, leave-one-out errors,\n"
    "               their summary and the landmark spread\n"
    "  --check=csv  the landmark check as CSV in place of the report and formulas\n";

enum class CheckOutput { None, Table, Csv };

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on Linux: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string path;
  bool havePath = false, usageError = false;
  CheckOutput check = CheckOutput::None;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--check" && check == CheckOutput::None) {
      check = CheckOutput::Table;
    } else if (arg == "--check=csv" && check == CheckOutput::None) {
      check = CheckOutput::Csv;
    } else if (!havePath && !arg.empty() && arg[0] != '-') {
      path = arg;
      havePath = true;
    } else {
      usageError = true;
    }
  }
  if (usageError || !havePath) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string bytes;
  if (const int code = ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), IoErrorText(code).c_str());
    return 2;
  }
  TCalibration calibration;
  std::string error;
  if (!ParseCalibration(bytes, calibration, error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  const int n = StoreCalibration(calibration, PointTable);

  StderrPresenter messages;
  std::vector<std::string> report;
  const bool ran = FitRegistration(n, report, messages);
  std::string out;
  if (check != CheckOutput::Csv) {
    for (const std::string& line : report) out += line + "\n";
    if (ran) {
      std::string formula = FormulaText(RegCoef);
      for (char& c : formula)
        if (c == '\r') c = '\n';
      out += formula + "\n";
    }
  }
  if (ran && check != CheckOutput::None) {
    const TLandmarkCheck result = CheckLandmarks(PointTable, n, RegCoef);
    if (check == CheckOutput::Csv) {
      out += LandmarkCheckCsv(result);
    } else {
      out += "\n";
      for (const std::string& line : LandmarkCheckLines(result)) out += line + "\n";
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  if (!ran && n >= kMinRegistrationRows && TrackerSpan(PointTable, n) != TTrackerSpan::Space)
    return 3;
  return messages.count > 0 ? 1 : 0;
}
