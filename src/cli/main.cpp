// kestrel-render: loads a model into the same TForm1 the window uses, applies options and view
// changes as a user would, draws one frame and writes it (or the scene) to a file.
#include <QImageWriter>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/file_kind.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"
#include "view/zoom_pan.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxFrameSide = 16384;

enum class OutputFormat { Bmp, Png, Ksl };

struct Options {
  std::string input;
  std::string output;
  std::optional<OutputFormat> format;
  int width = 601;
  int height = 593;
  // The five check boxes, in the order they are set.
  std::optional<bool> toggles[5];
  std::optional<std::pair<double, double>> turn;
  std::optional<double> zoom;
  std::optional<std::pair<double, double>> pan;
  int threads = 0;  // 0: the environment's or the machine's count
  bool help = false;
};

constexpr int kToggleBoxes[5] = {kAliasCheckBox, kFadeCheckBox, kFlipZCheckBox, kWhiteBackCheckBox,
                                 kCircleFillCheckBox};

class UsageError {
 public:
  explicit UsageError(std::string text) : text_(std::move(text)) {}
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// A finite real number and nothing else: no blanks, no "inf" or "nan", an optional sign.
double ParseReal(std::string_view text, const std::string& option) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    throw UsageError(option + ": not a number: '" + std::string(text) + "'");
  }
  return value;
}

std::pair<double, double> ParsePair(std::string_view text, const std::string& option) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) throw UsageError(option + " takes two numbers, A,B");
  return {ParseReal(text.substr(0, comma), option), ParseReal(text.substr(comma + 1), option)};
}

int ParseSide(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > kMaxFrameSide) {
    throw UsageError("--size: each side must be a whole number from 1 to " +
                     std::to_string(kMaxFrameSide));
  }
  return value;
}

OutputFormat ParseFormat(std::string_view text) {
  if (text == "png") return OutputFormat::Png;
  if (text == "bmp") return OutputFormat::Bmp;
  if (text == "ksl") return OutputFormat::Ksl;
  throw UsageError("--format takes png, bmp or ksl");
}

bool ParseOnOff(std::string_view text, const std::string& option) {
  if (text == "on") return true;
  if (text == "off") return false;
  throw UsageError(option + " takes on or off");
}

// --- What each option does with its value (`name` is the option as given) ---

void SetOutput(Options& o, const std::string&, const std::string& value) {
  o.output = value;
}

void SetFormat(Options& o, const std::string&, const std::string& value) {
  o.format = ParseFormat(value);
}

void SetSize(Options& o, const std::string&, const std::string& value) {
  const size_t x = value.find_first_of("xX");
  if (x == std::string::npos) {
    // One number is a square: what a thumbnailer asks for.
    o.width = o.height = ParseSide(value);
  } else {
    o.width = ParseSide(std::string_view(value).substr(0, x));
    o.height = ParseSide(std::string_view(value).substr(x + 1));
  }
}

template <int Box>
void SetToggle(Options& o, const std::string& name, const std::string& value) {
  o.toggles[Box] = ParseOnOff(value, name);
}

void SetTurn(Options& o, const std::string& name, const std::string& value) {
  o.turn = ParsePair(value, name);
}

void SetZoom(Options& o, const std::string& name, const std::string& value) {
  o.zoom = ParseReal(value, name);
  if (*o.zoom == 0) throw UsageError("--zoom: the factor must not be 0");
}

void SetPan(Options& o, const std::string& name, const std::string& value) {
  o.pan = ParsePair(value, name);
}

void SetThreads(Options& o, const std::string& name, const std::string& value) {
  o.threads = ParseThreadCount(value);
  if (o.threads == 0) {
    throw UsageError(name + ": a whole number from 1 to " + std::to_string(kMaxWorkerThreads));
  }
}

// Every option but --help takes a value, as "--name value" or "--name=value". An option is its
// row here, which also gives its lines of the usage text, and the step in Run that acts on it.
struct OptionRow {
  const char* name;
  const char* shortName;  // or null
  // Whether it is one of the options applied after the load (the second list of the usage).
  bool afterLoad;
  const char* synopsis;     // null: not listed
  const char* description;  // may run over several lines
  void (*apply)(Options& o, const std::string& name, const std::string& value);
};

constexpr OptionRow kOptions[] = {
    {"--output", "-o", false, nullptr, nullptr, SetOutput},
    {"--format", nullptr, false, "--format png|bmp|ksl",
     "what to write, whatever OUTPUT's name (a thumbnailer's output\n"
     "file may have no extension)",
     SetFormat},
    {"--threads", nullptr, false, "--threads N",
     "draw with N threads (default: KESTREL_THREADS, else one a core);\n"
     "the picture and the file are the same with any number",
     SetThreads},
    {"--size", nullptr, true, "--size WxH | N",
     "frame size in pixels, N alone for N x N (default 601x593)", SetSize},
    {"--antialias", nullptr, true, "--antialias on|off", "tick or untick Anti-aliasing",
     SetToggle<0>},
    {"--fade", nullptr, true, "--fade on|off", "tick or untick Fade", SetToggle<1>},
    {"--flip-z", nullptr, true, "--flip-z on|off", "tick or untick Flip Z", SetToggle<2>},
    {"--white-back", nullptr, true, "--white-back on|off", "tick or untick White Back",
     SetToggle<3>},
    {"--fill-circles", nullptr, true, "--fill-circles on|off", "tick or untick Fill Circles",
     SetToggle<4>},
    {"--turn", nullptr, true, "--turn YAW,PITCH",
     "turn by YAW degrees about the up axis, then PITCH about the right", SetTurn},
    {"--zoom", nullptr, true, "--zoom F", "multiply the zoom by F", SetZoom},
    {"--pan", nullptr, true, "--pan X,Y", "move the picture X pixels right and Y pixels up",
     SetPan},
};

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : kOptions) {
    if (name == row.name || (row.shortName != nullptr && name == row.shortName)) return &row;
  }
  return nullptr;
}

// "  SYNOPSIS   description", the description in a column of its own.
void AddUsageLines(std::string& text, const std::string& synopsis, const std::string& description) {
  constexpr size_t kColumn = 24;
  std::string lead = "  " + synopsis;
  lead.resize(std::max(lead.size() + 1, kColumn + 2), ' ');
  size_t from = 0;
  for (;;) {
    const size_t end = description.find('\n', from);
    text += lead + description.substr(from, end - from) + "\n";
    if (end == std::string::npos) break;
    from = end + 1;
    lead.assign(kColumn + 2, ' ');
  }
}

std::string Usage() {
  std::string text =
      "usage: kestrel-render INPUT -o OUTPUT [options]\n"
      "\n"
      "Renders a Tumbra (.tmb) or Kestrel (.ksl) model without a window and writes the frame\n"
      "as a BMP or PNG image, or the scene as a Kestrel file, chosen by OUTPUT's extension\n"
      "(.bmp, .png or .ksl) or by --format.\n"
      "\n";
  for (const bool afterLoad : {false, true}) {
    if (afterLoad) text += "\noptions, applied in this order after the model is loaded:\n";
    for (const OptionRow& row : kOptions) {
      if (row.afterLoad == afterLoad && row.synopsis != nullptr) {
        AddUsageLines(text, row.synopsis, row.description);
      }
    }
  }
  AddUsageLines(text, "--help", "show this text");
  return text;
}

Options ParseArguments(const std::vector<std::string>& args) {
  Options o;
  // Help wins wherever it stands, whatever else is wrong.
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name.size() > 2 && name.compare(0, 2, "--") == 0 && name.find('=') != std::string::npos) {
      value = name.substr(name.find('=') + 1);
      name = name.substr(0, name.find('='));
    }
    if (name.empty() || name[0] != '-' || name == "-") {
      if (!o.input.empty()) throw UsageError("more than one INPUT: '" + name + "'");
      o.input = name;
      continue;
    }
    const OptionRow* option = FindOption(name);
    if (option == nullptr) throw UsageError("unknown option '" + name + "'");
    if (!value) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    option->apply(o, name, *value);
  }
  if (o.input.empty()) throw UsageError("no INPUT model given");
  if (o.output.empty()) throw UsageError("no OUTPUT given (-o OUTPUT)");
  if (SceneFileKindOf(o.input) == SceneFileKind::None) {
    throw UsageError("INPUT must be a .tmb or .ksl file");
  }
  if (!o.format) {
    const std::string out = LowerExtension(o.output);
    if (out != ".bmp" && out != ".png" && out != ".ksl") {
      throw UsageError("OUTPUT must be a .bmp, .png or .ksl file, or --format must say which");
    }
    o.format = ParseFormat(out.substr(1));
  }
  return o;
}

void WriteOutput(TForm1& form, const std::string& path, OutputFormat format) {
  switch (format) {
    case OutputFormat::Bmp:
      form.SaveBitmapFile(path);  // exactly what "Save Image As" writes
      break;
    case OutputFormat::Ksl:
      form.SaveKslFile(path);
      break;
    case OutputFormat::Png: {
      QImageWriter writer(QString::fromStdString(path), "png");
      if (!writer.write(form.FrameBitmap)) {
        throw KestrelError("Cannot write " + path + ": " + writer.errorString().toStdString());
      }
      break;
    }
  }
}

// Runs the whole job; the messages the window would show go to standard error as they come.
int Run(const Options& o) {
  HeadlessControls controls;
  TForm1 form(controls);
  controls.Attach(&form);
  controls.OnMessage = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };

  // The frame is sized before anything is loaded, as the window is.
  form.FormResize(o.width + FrameWidthAllowance, o.height + FrameHeightAllowance);
  if (!controls.Messages.empty()) return kExitFailure;

  // A load that completes ends by drawing a frame; one that does not has said why.
  const int framesBefore = controls.FramesPresented;
  form.FormShow(o.input);
  if (controls.FramesPresented == framesBefore) return kExitFailure;

  // Each option as a user would click its box: the handler runs only on a change.
  for (int t = 0; t < 5; ++t) {
    if (o.toggles[t]) controls.SetCheckBoxChecked(kToggleBoxes[t], *o.toggles[t]);
  }
  if (o.turn) {
    form.RotateCam(1, o.turn->first * std::numbers::pi / 180);
    form.RotateCam(0, o.turn->second * std::numbers::pi / 180);
  }
  // Checked as the keys check them: a zoom or pan the view cannot take fails as it would there.
  if (o.zoom) ZoomBy(form, *o.zoom);
  if (o.pan) {
    PanRight(form, o.pan->first);
    PanUp(form, o.pan->second);
  }

  const int framesBeforeFinal = controls.FramesPresented;
  form.Render();
  if (controls.FramesPresented == framesBeforeFinal) return kExitFailure;  // said why
  WriteOutput(form, o.output, *o.format);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "kestrel-render: %s\n\n%s", e.text().c_str(), Usage().c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (options.threads != 0) SetSharedWorkerThreads(options.threads);
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitFailure;
  }
}
