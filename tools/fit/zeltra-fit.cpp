// zeltra-fit FILE: reads a calibration file, fits the affine registration on its
// point lines and prints the report lines as the Transforms window shows them,
// then the three formula lines of the Track view, one per line ("\n").
//
// Exit status: 0 when the fit ran without a message; 1 when the fit showed a
// message (written to standard error; the report lines it produced are still
// printed, or none when it refused to run); 2 for a usage, file or format error.
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

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on Linux: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc != 2) {
    std::fprintf(stderr, "usage: zeltra-fit FILE\n");
    return 2;
  }
  const std::string path = argv[1];
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
  for (const std::string& line : report) out += line + "\n";
  if (ran) {
    std::string formula = FormulaText(RegCoef);
    for (char& c : formula)
      if (c == '\r') c = '\n';
    out += formula + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return messages.count > 0 ? 1 : 0;
}
