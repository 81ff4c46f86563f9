// kestrel-render: loads a model into the same TForm1 the window uses, applies options and view
// changes as a user would, draws one frame and writes it (or the scene) to a file, or draws the
// frames of a full turn into a video or numbered pictures.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/progress.h"
#include "cli/turntable.h"
#include "formats/file_bytes.h"
#include "formats/file_commands.h"
#include "formats/file_kind.h"
#include "formats/native_file.h"
#include "formats/picture_file.h"
#include "formats/png_sequence.h"
#include "formats/video/video_writer.h"
#include "scene/headless_controls.h"
#include "scene/scene_model.h"
#include "scene/worker_pool.h"
#include "view/zoom_pan.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxFrameSide = 16384;
constexpr int kMaxTurntableFrames = 100000;
constexpr double kDefaultFramesPerSecond = 30;

enum class OutputFormat { Bmp, Png, Ksl };

struct Options {
  std::string input;
  std::string output;
  std::optional<OutputFormat> format;
  int width = 601;
  int height = 593;
  // The five check boxes, in the order they are set.
  std::optional<bool> toggles[5];
  // Every --turn in the order given: one turn after the other, as drags follow one another.
  std::vector<std::pair<double, double>> turns;
  std::optional<double> zoom;
  std::optional<std::pair<double, double>> pan;
  int threads = 0;               // 0: the environment's or the machine's count
  std::optional<int> turntable;  // frames
  std::optional<double> fps;
  std::optional<TurnAxis> axis;
  bool help = false;
  bool version = false;
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
  o.turns.push_back(ParsePair(value, name));
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

void SetTurntable(Options& o, const std::string& name, const std::string& value) {
  int frames = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), frames);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() || frames < 1 ||
      frames > kMaxTurntableFrames) {
    throw UsageError(name + " takes a whole number of frames from 1 to " +
                     std::to_string(kMaxTurntableFrames));
  }
  o.turntable = frames;
}

void SetFps(Options& o, const std::string& name, const std::string& value) {
  o.fps = ParseReal(value, name);
  if (*o.fps <= 0) throw UsageError(name + ": the rate must be above 0");
}

void SetAxis(Options& o, const std::string& name, const std::string& value) {
  if (value == "vertical") {
    o.axis = TurnAxis::Vertical;
  } else if (value == "horizontal") {
    o.axis = TurnAxis::Horizontal;
  } else {
    throw UsageError(name + " takes vertical or horizontal");
  }
}

// Where an option is listed in the usage text: with the output, among the options applied after
// the load (in the order they act), or with the turntable.
enum class OptionGroup { Output, AfterLoad, Turntable };

// Every option but --help and --version takes a value, as "--name value" or "--name=value". An
// option is its row here, which also gives its lines of the usage text, and the step in Run that
// acts on it.
struct OptionRow {
  const char* name;
  const char* shortName;  // or null
  OptionGroup group;
  const char* synopsis;     // null: not listed
  const char* description;  // may run over several lines
  void (*apply)(Options& o, const std::string& name, const std::string& value);
};

constexpr OptionRow kOptions[] = {
    {"--output", "-o", OptionGroup::Output, nullptr, nullptr, SetOutput},
    {"--format", nullptr, OptionGroup::Output, "--format png|bmp|ksl",
     "what to write, whatever OUTPUT's name (a thumbnailer's output\n"
     "file may have no extension)",
     SetFormat},
    {"--threads", nullptr, OptionGroup::Output, "--threads N",
     "draw with N threads (default: KESTREL_THREADS, else one a core);\n"
     "the picture and the file are the same with any number",
     SetThreads},
    {"--size", nullptr, OptionGroup::AfterLoad, "--size WxH | N",
     "frame size in pixels, N alone for N x N (default 601x593)", SetSize},
    {"--antialias", nullptr, OptionGroup::AfterLoad, "--antialias on|off",
     "tick or untick Anti-aliasing", SetToggle<0>},
    {"--fade", nullptr, OptionGroup::AfterLoad, "--fade on|off", "tick or untick Fade",
     SetToggle<1>},
    {"--flip-z", nullptr, OptionGroup::AfterLoad, "--flip-z on|off", "tick or untick Flip Z",
     SetToggle<2>},
    {"--white-back", nullptr, OptionGroup::AfterLoad, "--white-back on|off",
     "tick or untick White Back", SetToggle<3>},
    {"--fill-circles", nullptr, OptionGroup::AfterLoad, "--fill-circles on|off",
     "tick or untick Fill Circles", SetToggle<4>},
    {"--turn", nullptr, OptionGroup::AfterLoad, "--turn YAW,PITCH",
     "turn by YAW degrees about the up axis, then PITCH about the right;\n"
     "given again, turns again from there",
     SetTurn},
    {"--zoom", nullptr, OptionGroup::AfterLoad, "--zoom F", "multiply the zoom by F", SetZoom},
    {"--pan", nullptr, OptionGroup::AfterLoad, "--pan X,Y",
     "move the picture X pixels right and Y pixels up", SetPan},
    {"--turntable", nullptr, OptionGroup::Turntable, "--turntable N",
     "draw N frames of a full turn, 360/N degrees apart, the first\n"
     "one the view set up by the options above; each frame is the\n"
     "picture those options give with its own turn added as a\n"
     "last --turn",
     SetTurntable},
    {"--fps", nullptr, OptionGroup::Turntable, "--fps F",
     "frames per second of the video (default 30; at most 50 for\n"
     "a GIF, 120 otherwise; numbered pictures have no rate)",
     SetFps},
    {"--axis", nullptr, OptionGroup::Turntable, "--axis AXIS",
     "vertical: turn about the screen's vertical axis, as a drag to\n"
     "the left (the default); horizontal: about its horizontal axis,\n"
     "as an upward drag",
     SetAxis},
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
      "       kestrel-render INPUT -o VIDEO --turntable N [--fps F] [--axis AXIS] [options]\n"
      "\n"
      "Renders a model without a window and writes the frame as a BMP or PNG image, or the\n"
      "scene as a Kestrel file, chosen by OUTPUT's extension (.bmp, .png or .ksl) or by\n"
      "--format. OUTPUT - is standard output (with --format). INPUT is any file Kestrel\n"
      "opens:\n  " +
      OpenedExtensions() +
      ".\nA model that cannot be read or fitted to the frame writes nothing and exits with 1.\n"
      "\n";
  for (const OptionGroup group :
       {OptionGroup::Output, OptionGroup::AfterLoad, OptionGroup::Turntable}) {
    if (group == OptionGroup::AfterLoad) {
      text += "\noptions, applied in this order after the model is loaded:\n";
    }
    if (group == OptionGroup::Turntable) {
      text +=
          "\nturntables: VIDEO's extension picks what is written: .mp4 (H.264), .webm (VP9),\n"
          ".gif (looping), or numbered PNG files named by a pattern with %d or %03d\n"
          "(spin_%03d.png gives spin_000.png, spin_001.png, ...; %% for a percent sign).\n"
          "An MP4's frames are drawn at the size asked; H.264 needs even sides, so an odd\n"
          "width or height gets one more column at the right or row at the bottom, in the\n"
          "background colour.\n";
    }
    for (const OptionRow& row : kOptions) {
      if (row.group == group && row.synopsis != nullptr) {
        AddUsageLines(text, row.synopsis, row.description);
      }
    }
  }
  AddUsageLines(text, "--help", "show this text");
  AddUsageLines(text, "--version", "show the version");
  return text;
}

// A turntable's OUTPUT names a video or a pattern of numbered PNG files, and nothing else says
// what to write.
void CheckTurntableOutput(const Options& o) {
  if (o.format) throw UsageError("--format does not go with --turntable: VIDEO's name says it");
  const std::optional<VideoFormat> video = VideoFormatOf(o.output);
  if (!video && !IsPngPattern(o.output)) {
    throw UsageError(
        "with --turntable, VIDEO must be a .mp4, .webm or .gif file, or a pattern of numbered\n"
        ".png files such as spin_%03d.png");
  }
  if (video && o.fps && *o.fps > MaxFramesPerSecond(*video)) {
    throw UsageError("--fps: at most " +
                     std::to_string(static_cast<int>(MaxFramesPerSecond(*video))) +
                     " frames per second in a " + LowerExtension(o.output).substr(1) + " file");
  }
}

Options ParseArguments(const std::vector<std::string>& args) {
  Options o;
  // Help wins wherever it stands, whatever else is wrong; then the version.
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    }
  }
  for (const std::string& arg : args) {
    if (arg == "--version") {
      o.version = true;
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
    throw UsageError("INPUT must be a file Kestrel opens: " + OpenedExtensions());
  }
  if (o.turntable) {
    CheckTurntableOutput(o);
    return o;
  }
  if (o.fps || o.axis) throw UsageError("--fps and --axis go with --turntable");
  if (!o.format) {
    const std::string out = LowerExtension(o.output);
    if (out != ".bmp" && out != ".png" && out != ".ksl") {
      throw UsageError("OUTPUT must be a .bmp, .png or .ksl file, or --format must say which");
    }
    o.format = ParseFormat(out.substr(1));
  }
  return o;
}

// A picture or the scene, to the file OUTPUT names (replaced whole, or written in place when it
// is a device or a FIFO) or to standard output.
void WriteOutput(TForm1& form, const std::string& path, OutputFormat format) {
  if (path == "-") {
    std::vector<uint8_t> bytes;
    try {
      bytes =
          format == OutputFormat::Ksl
              ? KslFileBytes(form)
              : PictureBytes(form.FrameBitmap,
                             format == OutputFormat::Png ? PictureFormat::Png : PictureFormat::Bmp);
    } catch (const KestrelError& e) {
      throw KestrelError(std::string("Cannot write to standard output: ") + e.what());
    }
    WriteAllBytes(STDOUT_FILENO, bytes, "standard output");
    return;
  }
  switch (format) {
    case OutputFormat::Bmp:
      form.SaveBitmapFile(path);  // exactly what "Save Image As" writes
      break;
    case OutputFormat::Ksl:
      form.SaveKslFile(path);
      break;
    case OutputFormat::Png:
      SavePictureFile(form.FrameBitmap, path, PictureFormat::Png);
      break;
  }
}

// A message box on standard error: the fixed text first, then what more the program knows, on
// the same line.
void PrintMessage(const std::string& text, const std::string& detail) {
  if (detail.empty()) {
    std::fprintf(stderr, "%s\n", text.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", text.c_str(), detail.c_str());
  }
}

// The frames of a full turn into a video or numbered PNG files. The output is set up before the
// first frame, so that a name that cannot be written fails before any work.
int RunTurntable(TForm1& form, HeadlessControls& controls, const Options& o) {
  const int frames = *o.turntable;
  std::unique_ptr<VideoWriter> video;
  std::unique_ptr<PngSequenceWriter> pictures;
  if (const std::optional<VideoFormat> format = VideoFormatOf(o.output)) {
    // An odd-sized MP4 frame is padded with the picture's own background.
    const QRgb background = form.WhiteBack ? 0xFFFFFFFFu : 0xFF000000u;
    video = std::make_unique<VideoWriter>(
        o.output, VideoSettings{*format, form.FrameBitmap.size(),
                                o.fps.value_or(kDefaultFramesPerSecond), background});
  } else {
    pictures = std::make_unique<PngSequenceWriter>(o.output);
  }
  ProgressLine progress(stderr);
  controls.OnMessage = [&progress](const std::string& text, const std::string& detail) {
    progress.Say("");
    PrintMessage(text, detail);
  };
  progress.Frames(0, frames);
  const bool drawn = DrawTurntable(form, controls, frames, o.axis.value_or(TurnAxis::Vertical),
                                   [&](int k, const QImage& frame) {
                                     if (video) {
                                       video->AddFrame(frame);
                                     } else {
                                       pictures->AddFrame(frame);
                                     }
                                     progress.Frames(k + 1, frames);
                                   });
  if (!drawn) return kExitFailure;  // said why; the writers leave nothing behind
  if (video) {
    progress.Say("writing " + o.output);
    video->Finish();
  } else {
    pictures->Finish();
  }
  return 0;
}

// Runs the whole job; the messages the window would show go to standard error as they come.
int Run(const Options& o) {
  HeadlessControls controls;
  controls.KeepsMemo = false;  // no memo to show
  TForm1 form(controls);
  controls.Attach(&form);
  controls.OnMessage = PrintMessage;

  // The frame is sized before anything is loaded, as the window is.
  form.FormResize(o.width + FrameWidthAllowance, o.height + FrameHeightAllowance);
  if (!controls.Messages.empty()) return kExitFailure;

  // A model the fit refuses is drawn by the window all the same, but no picture of it is one
  // anybody asked for (a black frame, or one dot in a corner): it fails here as a refused file
  // does, having said why.
  if (LoadSceneFile(form, o.input) != LoadResult::Shown) {
    return kExitFailure;
  }

  // Each option as a user would click its box: the handler runs only on a change.
  for (int t = 0; t < 5; ++t) {
    if (o.toggles[t]) controls.SetCheckBoxChecked(kToggleBoxes[t], *o.toggles[t]);
  }
  for (const auto& [yaw, pitch] : o.turns) TurnByDegrees(form, yaw, pitch);
  // Checked as the keys check them: a zoom or pan the view cannot take fails as it would there.
  if (o.zoom) ZoomBy(form, *o.zoom);
  if (o.pan) {
    PanRight(form, o.pan->first);
    PanUp(form, o.pan->second);
  }
  if (o.turntable) return RunTurntable(form, controls, o);

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
  if (options.version) {
    std::fputs("kestrel-render " KESTREL_VERSION "\n", stdout);
    return 0;
  }
  if (options.threads != 0) SetSharedWorkerThreads(options.threads);
  try {
    return Run(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s\n", kOutOfMemoryText);
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitFailure;
  }
}
