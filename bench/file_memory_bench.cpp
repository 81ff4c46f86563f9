// Peak memory of opening large and hostile files, each in a process of its own as
// kestrel-render opens them (no memo copy of the comment lines): the million-line Tumbra file
// opened over a model as large (the old model, the new one and the file side by side), a Tumbra
// file of short point lines, a two-point model padded with blank lines, and scene files whose
// body is empty comment lines. Prints, for each, the file's size, what the reader estimated,
// what became of the load (the message of a refusal), and the growth of the peak resident size
// over the process before the load.
//
//   file_memory_bench            the cases at the sizes the figures are quoted for
//   file_memory_bench --small    the same cases at a tenth of the size, for a quick look
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "formats/file_commands.h"
#include "formats/file_kind.h"
#include "scene/headless_controls.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/tumbra_model.h"

namespace {

double Megabytes(double bytes) {
  return bytes / 1048576.0;
}

long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Case {
  std::string name;
  std::string path;
  // What the counts ask for, as the reader estimates it (0: not worked out here).
  double estimateBytes = 0;
  // Opened once before the file itself, so that an old model is shown beside the new one.
  std::string shownFirst;
  // An address-space limit for the child, as a machine with that much memory would have.
  uint64_t limitBytes = 0;
};

// Opens the case's file in a child process and prints what it took: the growth of the peak over
// the process before it opened anything.
void Run(const Case& c) {
  rusage usage{};
  const std::string said = RunInChild(
      [&c]() -> std::string {
        if (c.limitBytes != 0) {
          const rlimit limit{c.limitBytes, c.limitBytes};
          setrlimit(RLIMIT_AS, &limit);
        }
        HeadlessControls controls;
        controls.KeepsMemo = false;
        TForm1 form(controls);
        controls.Attach(&form);
        form.FormResize(601 + FrameWidthAllowance, 593 + FrameHeightAllowance);
        const long before = PeakResidentKilobytes();
        if (!c.shownFirst.empty()) {
          LoadSceneFile(form, c.shownFirst);
        }
        std::string outcome;
        try {
          switch (LoadSceneFile(form, c.path)) {
            case LoadResult::Shown:
              outcome = "shown, " + std::to_string(form.PointCount) + " points";
              break;
            case LoadResult::Unfitted:
              outcome = "not fitted";
              break;
            case LoadResult::Refused:
              outcome = "refused: " + (controls.Messages.empty() ? "" : controls.Messages.back());
              break;
          }
        } catch (const std::exception& e) {
          outcome = std::string("refused: ") + e.what();
        }
        return std::to_string(before) + " " + outcome;
      },
      &usage);
  const long before = std::atol(said.c_str());
  const std::string outcome = said.substr(std::min(said.size(), said.find(' ') + 1));
  std::printf("%-46s file %9.1f MB  estimate %9.1f MB  peak growth %9.1f MB  %s\n", c.name.c_str(),
              Megabytes(static_cast<double>(std::filesystem::file_size(c.path))),
              Megabytes(c.estimateBytes),
              Megabytes(static_cast<double>(usage.ru_maxrss - before) * 1024.0), outcome.c_str());
  std::fflush(stdout);
}

// A scene file whose body is `lines` empty comment lines and a two-point model, compressed in
// pieces so that the body is never held whole here.
void WriteCommentScene(const std::string& path, uint64_t lines) {
  std::ofstream out(path, std::ios::binary);
  z_stream s{};
  deflateInit(&s, 9);
  std::vector<uint8_t> packed(1 << 20);
  const auto feed = [&](const std::string& bytes, bool last) {
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    s.avail_in = static_cast<uInt>(bytes.size());
    do {
      s.next_out = packed.data();
      s.avail_out = static_cast<uInt>(packed.size());
      deflate(&s, last ? Z_FINISH : Z_NO_FLUSH);
      out.write(reinterpret_cast<const char*>(packed.data()),
                static_cast<std::streamsize>(packed.size() - s.avail_out));
    } while (s.avail_out == 0);
  };
  std::string head("\x03\x01\x01\x00\x00\x00\x00", 7);
  const auto put = [](std::string& b, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
  };
  for (int i = 0; i < 3; ++i) put(head, std::bit_cast<uint64_t>(0.5), 8);
  put(head, lines, 4);
  feed(head, false);
  const std::string zeros(1 << 20, '\0');
  for (uint64_t left = lines * 4; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
    feed(zeros.substr(0, n), false);
    left -= n;
  }
  std::string tail;
  put(tail, 2, 4);
  for (double v : {0.0, 0.0, 0.0, 1.0, 1.0, 1.0}) put(tail, std::bit_cast<uint64_t>(v), 8);
  put(tail, 1, 4);
  tail += std::string("\x00\x00\x00\x00\x00\x01\x00\x00\x00\xFF\xFF\xFF", 12);
  feed(tail, true);
  deflateEnd(&s);
}

void WriteRepeated(const std::string& path, const std::string& head, const std::string& line,
                   uint64_t count, const std::string& tail) {
  std::ofstream out(path, std::ios::binary);
  out << head;
  std::string block;
  for (int i = 0; i < 65536; ++i) block += line;
  for (uint64_t left = count; left > 0;) {
    const uint64_t n = std::min<uint64_t>(left, 65536);
    out.write(block.data(), static_cast<std::streamsize>(n * line.size()));
    left -= n;
  }
  out << tail;
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = argc > 1 && std::strcmp(argv[1], "--small") == 0;
  const uint64_t scale = small ? 10 : 1;
  ScratchDir dir;
  const auto at = [&dir](const char* name) { return (dir.path() / name).string(); };

  // The million-line model, opened over itself: old model, new model and file side by side.
  const std::string million = at("million.tmb");
  WriteTumbraModel(million, 1'000'000 / static_cast<int64_t>(scale));
  const double millionFile = static_cast<double>(std::filesystem::file_size(million));
  const uint64_t millionLines = 1'000'000 / scale;
  Run({"Tumbra, 1M point lines, over an equal model", million,
       2.0 * static_cast<double>(SceneBytes(millionLines, millionLines)) + millionFile, million,
       0});

  // 200 MB of short point lines: 25 million points.
  const uint64_t shortLines = 25'000'000 / scale;
  const std::string shortFile = at("short.tmb");
  WriteRepeated(shortFile, "", "0 0 0 1\n1 1 1 1\n", shortLines / 2, "");
  Run({"Tumbra, 200 MB of \"0 0 0 1\" lines", shortFile,
       static_cast<double>(SceneBytes(shortLines, shortLines) + shortLines * 8), "", 0});

  // Two points padded with 100 MB of blank lines.
  const std::string padded = at("padded.tmb");
  WriteRepeated(padded, "0 0 0 0\n", "\n", 100'000'000 / scale, "1 1 1 1\n");
  Run({"Tumbra, 2 points and 100 MB of blank lines", padded,
       static_cast<double>(SceneBytes(2, 2) + 100'000'000 / scale), "", 0});

  // 128 MiB of empty comment lines in a file of about 130 KB.
  const uint64_t lines128 = (uint64_t{128} << 20) / 4 / scale;
  const std::string comments = at("comments.ksl");
  WriteCommentScene(comments, lines128);
  Run({"Scene, 128 MiB body of empty comment lines", comments,
       static_cast<double>(lines128 * (4 + sizeof(std::string))), "", 0});

  // At the 1 GiB bound of a body, on a machine of 8 GB.
  const uint64_t linesCap = ((uint64_t{1} << 30) - 200) / 4 / scale;
  const std::string capped = at("capped.ksl");
  WriteCommentScene(capped, linesCap);
  Run({"Scene, 1 GiB body of comment lines, 8 GB limit", capped,
       static_cast<double>(linesCap * (4 + sizeof(std::string))), "", uint64_t{8} << 30});
  return 0;
}
