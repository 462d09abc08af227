// zeltra-fit FILE [--check | --check=csv] [--image IMAGE] [--tracker TRACKER]:
// reads a calibration file, fits the affine registration on its point lines and
// prints the report lines as the Transforms window shows them, then the three
// formula lines of the Track view, one per line ("\n"). With --check the landmark
// check follows (its plain-text table); with --check=csv the check's CSV is
// printed instead of the report and the formula lines, so that the output is the
// CSV alone.
//
// With --image (the MRI image the viewer shows, a NIfTI-1 .nii, .nii.gz or .hdr)
// the image's line follows the formulas, then the scale check's warning when the
// fit's implied voxel sizes do not match the image's for the tracker's unit
// (--tracker, Flock 36-inch range unless told), and the check's table and CSV gain
// the residual and the leave-one-out error in mm. In the CSV the warning goes to
// standard error.
//
// The calibration file must have the form the program writes: six integers on
// every line (the closing line too); blank lines only at the end. The window reads
// numbers across line ends, so a line of five numbers would silently shift every
// row after it; zeltra-fit refuses it and says where: "FILE:LINE: what is wrong".
//
// Exit status: 0 when the fit ran without a message; 1 when the fit showed a
// message (written to standard error; the report lines it produced are still
// printed, or none when it refused to run); 2 for a usage, file or format error
// (the calibration's or the image's: the message alone, nothing on standard
// output); 3 when the landmarks' tracker positions cannot determine the map (all
// in one plane, on one line or at one point): the message is written to standard
// error and the report lines, which say the same, to standard output. A report
// that cannot be written to standard output (a full disk) gives 2 as well.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "ImageFile.h"
#include "Interfaces.h"
#include "SafeFile.h"
#include "image/Nifti.h"
#include "image/ScaleCheck.h"
#include "math/FormatFixed.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"
#include "reg/CalibFile.h"
#include "reg/TrackView.h"
#include "tracker/TrackerUnits.h"

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
    "usage: zeltra-fit FILE [--check | --check=csv] [--image IMAGE] [--tracker TRACKER]\n"
    "  prints the fit report of the calibration FILE and its formula lines\n"
    "  --check            then the landmark check: residuals, leave-one-out errors,\n"
    "                     their summary and the landmark spread\n"
    "  --check=csv        the landmark check as CSV in place of the report and formulas\n"
    "  --image IMAGE      the MRI image (.nii, .nii.gz, .hdr): its line after the\n"
    "                     formulas, the scale check, and the check's errors also in mm\n"
    "  --tracker TRACKER  the tracker's unit for the scale check: flock36 (default),\n"
    "                     flock72, flock144 (Flock range in inches), fastrak-in,\n"
    "                     fastrak-cm\n"
    "exit status: 0 fitted; 1 the fit showed a message; 2 usage, file, format or output error\n"
    "  (a malformed line as FILE:LINE: what is wrong); 3 the landmarks cannot\n"
    "  determine the map\n";

enum class CheckOutput { None, Table, Csv };

// The --tracker names and the tracker settings they stand for.
struct TTrackerChoice {
  const char* name;
  bool isFastrak;
  int32_t flockRange;   // inches
  int32_t fastrakUnit;  // 0 inches, 1 centimetres
};
constexpr TTrackerChoice kTrackerChoices[] = {
    {"flock36", false, 36, 0},     {"flock72", false, 72, 0},    {"flock144", false, 144, 0},
    {"fastrak-in", true, 36, 0},   {"fastrak-cm", true, 36, 1},
};

std::optional<TTrackerState> TrackerByName(const std::string& name) {
  for (const TTrackerChoice& c : kTrackerChoices) {
    if (name != c.name) continue;
    TTrackerState state;
    state.IsFastrak = c.isFastrak;
    state.FlockRange = c.flockRange;
    state.FastrakUnit = c.fastrakUnit;
    return state;
  }
  return std::nullopt;
}

// The value of an option given as "--name=VALUE" or as "--name VALUE"; false when
// `argv[i]` is not that option. A missing value sets `missing`.
bool OptionValue(int argc, char** argv, int& i, const std::string& name, std::string& value,
                 bool& missing) {
  const std::string arg = argv[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    missing = value.empty();
    return true;
  }
  if (arg != name) return false;
  if (i + 1 >= argc) {
    missing = true;
    return true;
  }
  value = argv[++i];
  return true;
}

// A column after others, as the check's table sets it: padded on the left to its
// width, a text that fills or overflows it set off by one blank.
std::string Column(const std::string& text, size_t width) {
  if (text.size() >= width) return " " + text;
  return std::string(width - text.size(), ' ') + text;
}

// The length in mm of a difference of voxels d: |Map(d) - Map(0)|.
double LengthMm(const TVoxelToRas& map, const double (&d)[3]) {
  return DistanceMm(map.Map(d[0], d[1], d[2]), map.Map(0, 0, 0));
}

// The check's table: a header with the unit of every column, one line per row
// ("*" after the row with the largest leave-one-out error, and a legend for it),
// then the core's summary, spread and warning lines. With `mm` the residual and the
// leave-one-out error are also given in mm.
std::vector<std::string> CheckTable(const TLandmarkCheck& check, const TVoxelToRas* mm) {
  const std::vector<std::string> core = LandmarkCheckLines(check);
  struct Col {
    const char* title;
    const char* unit;
    size_t width;
    bool inMm;
  };
  const Col cols[] = {{"dx", "[vxl]", 10, false},       {"dy", "[vxl]", 10, false},
                      {"dz", "[vxl]", 10, false},       {"Residual", "[vxl]", 10, false},
                      {"Residual", "[mm]", 10, true},   {"Leave-one-out", "[vxl]", 15, false},
                      {"Leave-one-out", "[mm]", 15, true}};
  std::vector<std::string> lines;
  lines.push_back(mm ? "Landmark check, in voxels and millimetres (leave-one-out: against the "
                       "fit of the other rows)"
                     : core.front());
  std::string titles = "  Row", units = "     ";
  for (const Col& c : cols) {
    if (c.inMm && !mm) continue;
    titles += Column(c.title, c.width);
    units += Column(c.unit, c.width);
  }
  lines.push_back(titles);
  lines.push_back(units);
  for (size_t i = 0; i < check.rows.size(); ++i) {
    const TLandmarkRow& r = check.rows[i];
    const TLandmarkCells cells = LandmarkCells(check, i);
    std::string line = Column(cells.row, 5);
    for (double d : r.residual) line += Column(FormatVoxels(d), 10);
    line += Column(cells.residual, 10);
    if (mm) line += Column(FormatMm(LengthMm(*mm, r.residual)), 10);
    line += Column(cells.leaveOneOut, 15);
    if (mm) line += Column(r.hasLeaveOneOut ? FormatMm(LengthMm(*mm, r.leaveOneOutError)) : "n/a", 15);
    if (cells.worst) line += "  *";
    lines.push_back(std::move(line));
  }
  if (check.worstRow != 0) lines.emplace_back("* largest leave-one-out error");
  // The core's title, header and row lines come first; the rest follows as it is.
  for (size_t k = 2 + check.rows.size(); k < core.size(); ++k) lines.push_back(core[k]);
  return lines;
}

// The core's CSV, with `mm` two more columns: residual_mm and leave_one_out_mm.
std::string CheckCsv(const TLandmarkCheck& check, const TVoxelToRas* mm) {
  const std::string csv = LandmarkCheckCsv(check);
  if (!mm) return csv;
  std::string out;
  size_t start = 0;
  for (size_t row = 0; start < csv.size(); ++row) {
    const size_t end = csv.find('\n', start);
    out.append(csv, start, end - start);
    if (row == 0) {
      out += ",residual_mm,leave_one_out_mm";
    } else if (row <= check.rows.size()) {
      const TLandmarkRow& r = check.rows[row - 1];
      out += ',';
      out += FormatFixed(LengthMm(*mm, r.residual), 0, 6);
      out += ',';
      if (r.hasLeaveOneOut) out += FormatFixed(LengthMm(*mm, r.leaveOneOutError), 0, 6);
    }
    out += '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The same bytes as on Linux: no CR added before each line feed.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string path, imagePath, trackerName = "flock36", value;
  bool havePath = false, haveImage = false, haveTracker = false, usageError = false;
  CheckOutput check = CheckOutput::None;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    bool missing = false;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--check" && check == CheckOutput::None) {
      check = CheckOutput::Table;
    } else if (arg == "--check=csv" && check == CheckOutput::None) {
      check = CheckOutput::Csv;
    } else if (OptionValue(argc, argv, i, "--image", value, missing)) {
      usageError |= missing || haveImage;
      imagePath = value;
      haveImage = true;
    } else if (OptionValue(argc, argv, i, "--tracker", value, missing)) {
      usageError |= missing || haveTracker;
      trackerName = value;
      haveTracker = true;
    } else if (!havePath && !arg.empty() && arg[0] != '-') {
      path = arg;
      havePath = true;
    } else {
      usageError = true;
    }
  }
  const std::optional<TTrackerState> tracker = TrackerByName(trackerName);
  if (!usageError && !tracker) {
    std::fprintf(stderr,
                 "zeltra-fit: unknown tracker \"%s\": flock36, flock72, flock144, fastrak-in or "
                 "fastrak-cm\n",
                 trackerName.c_str());
    usageError = true;
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
  TCalibrationError error;
  if (!CheckCalibrationLines(bytes, error) || !ParseCalibration(bytes, calibration, error)) {
    if (error.line > 0)
      std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), error.line, error.message.c_str());
    else
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.message.c_str());
    return 2;
  }
  TNiftiImage image;
  if (haveImage) {
    const std::string imageError = LoadNiftiHeader(imagePath, image);
    if (!imageError.empty()) {
      std::fprintf(stderr, "%s\n", imageError.c_str());
      return 2;
    }
  }
  // Differences of voxels, all the map is used for, do not depend on the first
  // voxel's number.
  const TVoxelToRas voxelToRas(image, 1);
  const TVoxelToRas* mm = haveImage ? &voxelToRas : nullptr;
  const int n = StoreCalibration(calibration, PointTable);

  StderrPresenter messages;
  std::vector<std::string> report;
  const bool ran = FitRegistration(n, report, messages);
  const std::string scaleWarning =
      ran && haveImage ? CheckFitScale(RegCoef, TrackerUnitMm(*tracker), image.voxelSize) : "";
  std::string out;
  if (check != CheckOutput::Csv) {
    for (const std::string& line : report) out += line + "\n";
    if (ran) {
      std::string formula = FormulaText(RegCoef);
      for (char& c : formula)
        if (c == '\r') c = '\n';
      out += formula + "\n";
    }
    if (haveImage) {
      out += "\n" + DescribeNiftiImage(image) + "\n";
      if (!scaleWarning.empty()) out += scaleWarning + "\n";
    }
  } else if (!scaleWarning.empty()) {
    std::fprintf(stderr, "%s\n", scaleWarning.c_str());
  }
  if (ran && check != CheckOutput::None) {
    const TLandmarkCheck result = CheckLandmarks(PointTable, n, RegCoef);
    if (check == CheckOutput::Csv) {
      out += CheckCsv(result, mm);
    } else {
      out += "\n";
      for (const std::string& line : CheckTable(result, mm)) out += line + "\n";
    }
  }
  // A report that did not reach its file (a full disk, a closed pipe) is a failure.
  const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  if (!written || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "zeltra-fit: the report could not be written: %s\n", std::strerror(errno));
    return 2;
  }
  if (!ran && n >= kMinRegistrationRows && TrackerSpan(PointTable, n) != TTrackerSpan::Space)
    return 3;
  return messages.count > 0 ? 1 : 0;
}
