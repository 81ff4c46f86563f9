// Saving onto a file system that is really full: a 256 KiB tmpfs, mounted in a private mount
// namespace of a child process so that nothing outside the child ever sees it. The scene, the
// picture and the video saves must fail with a message and leave the old files exactly as they
// were.
// (Where mounting is not allowed, the native file tests' simulated short write still runs.)
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "formats/picture_file.h"
#include "formats/video/video_writer.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCannotMount = 77;

// Fills the file system holding `dir` until fewer than `leave` bytes are free.
void Fill(const fs::path& dir, uintmax_t leave) {
  std::ofstream filler(dir / "filler", std::ios::binary);
  const std::string block(4096, 'f');
  while (fs::space(dir).available > leave && filler.write(block.data(), block.size())) {
    filler.flush();
  }
}

// Runs in the child; returns its exit status: 0 when every check held.
int SaveOntoAFullDisk(const fs::path& dir) {
  if (unshare(CLONE_NEWNS) != 0) return kCannotMount;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kCannotMount;
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0) return kCannotMount;

  const std::string scene = (dir / "scene.ksl").string();
  const std::string picture = (dir / "picture.bmp").string();
  const std::string png = (dir / "picture.png").string();
  const std::string video = (dir / "spin.mp4").string();
  std::ofstream(scene) << "the old scene";
  std::ofstream(picture) << "the old picture";
  std::ofstream(png) << "the old PNG";
  std::ofstream(video) << "the old video";

  FormFixture f;
  f.form.FormResize(400 + FrameWidthAllowance, 300 + FrameHeightAllowance);
  f.form.NewView();
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coordinate(-1, 1);
  for (int i = 0; i < 4000; ++i) {
    f.form.Points.push_back(
        PointRecord{{coordinate(random), coordinate(random), coordinate(random)}, {}, 0, 0});
    if (i > 0) f.form.Segments.push_back(SegmentRecord{0, 0, 0xFFFFFF, i - 1, i, 0});
  }
  f.form.PointCount = static_cast<int32_t>(f.form.Points.size());
  f.form.SegmentCount = static_cast<int32_t>(f.form.Segments.size());
  f.form.ComputeScale();
  f.form.Render();
  Fill(dir, 16 * 1024);

  int status = 0;
  auto expectRefused = [&](const char* what, auto save, int failure) {
    try {
      save();
      std::fprintf(stderr, "%s: the save onto a full disk succeeded\n", what);
      status = failure;
    } catch (const KestrelError& e) {
      std::fprintf(stderr, "%s: %s\n", what, e.what());
    }
  };
  expectRefused(
      "scene", [&] { f.form.SaveKslFile(scene); }, 1);
  expectRefused(
      "picture", [&] { f.form.SaveBitmapFile(picture); }, 2);
  expectRefused(
      "png", [&] { SavePictureFile(f.form.FrameBitmap, png, PictureFormat::Png); }, 6);
  expectRefused(
      "video",
      [&] {
        // Frames of thousands of random lines: far more than the room left.
        VideoWriter writer(video, {VideoFormat::Mp4, f.form.FrameBitmap.size(), 30, 0});
        for (int k = 0; k < 4; ++k) {
          f.form.RotateCam(1, 0.5);
          f.form.Render();
          writer.AddFrame(f.form.FrameBitmap);
        }
        writer.Finish();
      },
      8);
  if (ReadWholeFile(scene) != "the old scene") status = 3;
  if (ReadWholeFile(picture) != "the old picture") status = 4;
  if (ReadWholeFile(png) != "the old PNG") status = 7;
  if (ReadWholeFile(video) != "the old video") status = 9;
  // Nothing but the old files and the filler: no temporary file left behind.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  if (files != 5) status = 5;
  umount(dir.c_str());
  return status;
}

// Runs `check` in a child process, where it may mount what it likes, and expects status 0.
void ExpectInAChild(const std::function<int()>& check) {
  fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(check());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotMount) {
    GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's lines above";
}

TEST(FullDisk, SavesOntoAFullFileSystemFailAndKeepTheOldFiles) {
  ScratchDir dir;
  ExpectInAChild([&] { return SaveOntoAFullDisk(dir.path()); });
}

// kestrel-render onto a full file system: a picture that does not fit fails with the reason and
// leaves the old one whole, and a new one is not left behind empty or cut short.
int RenderOntoAFullDisk(const fs::path& dir, const fs::path& model) {
  if (unshare(CLONE_NEWNS) != 0) return kCannotMount;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kCannotMount;
  if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") != 0) return kCannotMount;
  const std::string old(3000, 'o');
  std::ofstream(dir / "pic.png") << old;
  std::ofstream(dir / "pic.bmp") << old;
  Fill(dir, 2048);
  int status = 0;
  for (const char* name : {"pic.png", "pic.bmp", "new.png", "new.bmp"}) {
    const std::string command = std::string("'") + KESTREL_RENDER_PATH + "' '" + model.string() +
                                "' -o '" + (dir / name).string() + "' 2>/dev/null";
    const int raw = std::system(command.c_str());
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 1) {
      std::fprintf(stderr, "%s: status %d on a full disk\n", name, raw);
      status = 1;
    }
  }
  if (ReadWholeFile((dir / "pic.png").string()) != old) status = 2;
  if (ReadWholeFile((dir / "pic.bmp").string()) != old) status = 3;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  if (files != 3) status = 4;  // the two old pictures and the filler
  umount(dir.c_str());
  return status;
}

TEST(FullDisk, RenderingOntoAFullFileSystemFailsAndKeepsTheOldPictures) {
  ScratchDir dir;
  ScratchDir models;
  const std::string model = models.Write("cube.tmb",
                                         "-1 -1 -1 0\n1 -1 -1 1\n1 1 -1 2\n-1 1 -1 3\n-1 -1 -1 4\n"
                                         "-1 -1 1 5\n1 -1 1 6\n1 1 1 1\n-1 1 1 2\n-1 -1 1 3\n");
  ExpectInAChild([&] { return RenderOntoAFullDisk(dir.path(), model); });
}

}  // namespace
