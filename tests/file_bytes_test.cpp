// Reading a whole file through the one piecewise read every reader uses.
#include "formats/file_bytes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "scene/error.h"
#include "test_support.h"

namespace {

TEST(FileBytes, ThePiecesMakeUpTheWholeFileAsItIsRead) {
  ScratchDir dir;
  std::mt19937 random(7);
  constexpr size_t kMiB = size_t{1} << 20;
  for (const size_t size : {size_t{0}, size_t{1}, kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 5}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string path = dir.Write("file" + std::to_string(size), bytes);
    std::string pieces;
    const FileContents contents =
        ReadFileBytes(path, size, [&pieces](std::string_view piece) { pieces += piece; });
    EXPECT_EQ(contents.size, size);
    EXPECT_TRUE(contents.Text() == bytes) << size;
    EXPECT_TRUE(pieces == bytes) << size;
  }
}

TEST(FileBytes, WhatCannotBeReadWholeIsRefusedWithItsReason) {
  ScratchDir dir;
  const std::string missing = (dir.path() / "missing").string();
  const std::string folder = dir.path().string();
  const std::string pipe = (dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string large = dir.Write("large", "four");
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {missing, "No such file or directory"},
      {folder, "Is a directory"},
      {"/dev/null", "it is not a regular file"},
      // Opening a pipe would wait for a writer: refused before it is opened.
      {pipe, "it is not a regular file"},
      {large, "it is larger than 3 bytes"},
  };
  alarm(20);  // a read that waits ends the test program instead of the run
  for (const auto& c : cases) {
    try {
      ReadFileBytes(c.path, 3);
      ADD_FAILURE() << c.path << " was read";
    } catch (const KestrelError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + c.path + "\": " + c.reason);
    }
  }
  alarm(0);
}

std::span<const uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What is at `path` decides how a save writes it: a regular file (or none) is replaced whole,
// through a link as well; a device or a FIFO is written in place and stays what it was; a folder
// is refused. Nothing is ever left beside the target.
TEST(FileBytes, WhatIsThereDecidesHowASaveWritesIt) {
  const std::string bytes = "the new bytes";
  struct Case {
    const char* what;
    std::function<void(const ScratchDir&)> setUp;
    const char* name;    // what is saved to
    std::string reason;  // "" when the save goes through
    std::function<void(const ScratchDir&)> check;
  };
  const auto path = [](const ScratchDir& d, const char* name) {
    return (d.path() / name).string();
  };
  const auto mode = [&](const ScratchDir& d, const char* name) {
    struct stat info {};
    lstat(path(d, name).c_str(), &info);
    return info.st_mode;
  };
  const mode_t mask = umask(0);
  umask(mask);
  const bool root = geteuid() == 0;
  const Case cases[] = {
      {"a new file, with the permissions a new file gets", [](const ScratchDir&) {}, "new.bmp", "",
       [&](const ScratchDir& d) {
         EXPECT_EQ(ReadWholeFile(path(d, "new.bmp")), bytes);
         EXPECT_EQ(mode(d, "new.bmp"), S_IFREG | (0666 & ~mask));
       }},
      {"an old file, whose permissions stay",
       [&](const ScratchDir& d) {
         d.Write("old.bmp", "old");
         chmod(path(d, "old.bmp").c_str(), 0640);
       },
       "old.bmp", "",
       [&](const ScratchDir& d) {
         EXPECT_EQ(ReadWholeFile(path(d, "old.bmp")), bytes);
         EXPECT_EQ(mode(d, "old.bmp"), S_IFREG | 0640);
       }},
      {"a chain of links, which stays",
       [&](const ScratchDir& d) {
         std::filesystem::create_directory(d.path() / "real");
         d.Write("real/target.png", "old");
         std::filesystem::create_symlink("real/target.png", d.path() / "second");
         std::filesystem::create_symlink(d.path() / "second", d.path() / "first.png");
       },
       "first.png", "",
       [&](const ScratchDir& d) {
         EXPECT_EQ(ReadWholeFile(path(d, "real/target.png")), bytes);
         EXPECT_TRUE(S_ISLNK(mode(d, "first.png")));
         EXPECT_TRUE(S_ISLNK(mode(d, "second")));
         EXPECT_EQ(Entries(d.path() / "real"), std::vector<std::string>{"target.png"});
       }},
      {"a folder",
       [&](const ScratchDir& d) { std::filesystem::create_directory(d.path() / "dir"); }, "dir",
       "Is a directory", [&](const ScratchDir& d) { EXPECT_TRUE(S_ISDIR(mode(d, "dir"))); }},
      {"a missing folder", [](const ScratchDir&) {}, "none/x.bmp", "No such file or directory",
       [](const ScratchDir&) {}},
      // Devices of our own, made like the system's null and full devices (as root only).
      {"a null device",
       [&](const ScratchDir& d) {
         if (root) mknod(path(d, "null").c_str(), S_IFCHR | 0666, makedev(1, 3));
       },
       "null", "",
       [&](const ScratchDir& d) { EXPECT_TRUE(S_ISCHR(mode(d, "null"))) << "still a device"; }},
      {"a full device",
       [&](const ScratchDir& d) {
         if (root) mknod(path(d, "full").c_str(), S_IFCHR | 0666, makedev(1, 7));
       },
       "full", "No space left on device",
       [&](const ScratchDir& d) { EXPECT_TRUE(S_ISCHR(mode(d, "full"))) << "still a device"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!root && (std::string(c.name) == "null" || std::string(c.name) == "full")) continue;
    ScratchDir dir;
    c.setUp(dir);
    const std::vector<std::string> before = Entries(dir.path());
    const std::string target = path(dir, c.name);
    try {
      ReplaceFileBytes(target, AsBytes(bytes));
      EXPECT_EQ(c.reason, "") << "saved";
    } catch (const KestrelError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot save file \"" + target + "\": " + c.reason);
    }
    c.check(dir);
    std::vector<std::string> after = Entries(dir.path());
    std::erase(after, std::string(c.name));
    std::erase(after, "real");
    EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end()))
        << "a temporary file was left";
  }
}

// A FIFO is written in place for whoever reads it, and stays a FIFO.
TEST(FileBytes, ASaveToAFifoGoesToItsReader) {
  ScratchDir dir;
  const std::string fifo = (dir.path() / "picture.png").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    const int fd = open(fifo.c_str(), O_RDONLY);
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) received.append(buf, static_cast<size_t>(n));
    close(fd);
  });
  const std::string bytes(100000, 'p');
  ReplaceFileBytes(fifo, AsBytes(bytes));
  reader.join();
  EXPECT_EQ(received, bytes);
  struct stat info {};
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"picture.png"});
}

// A read-only file is not replaced behind its owner's back (tried without root's powers).
TEST(FileBytes, AReadOnlyFileIsNotReplaced) {
  ScratchDir dir;
  const std::string path = dir.Write("locked.ksl", "old");
  chmod(path.c_str(), 0444);
  chmod(dir.path().c_str(), 0777);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    try {
      ReplaceFileBytes(path, AsBytes("new"));
    } catch (const KestrelError& e) {
      _exit(std::string(e.what()) == "Cannot save file \"" + path + "\": Permission denied" ? 0
                                                                                            : 2);
    }
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadWholeFile(path), "old");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"locked.ksl"});
}

// A name that is not valid UTF-8 names its own file: never the one whose name shows the same,
// with the bytes that are not UTF-8 replaced.
TEST(FileBytes, NamesAreTheBytesTheyCameAs) {
  ScratchDir dir;
  const std::string replaced = dir.Write("keep\xEF\xBF\xBD.ksl", "unrelated");
  const std::string raw = (dir.path() / "keep\xFE.ksl").string();
  ReplaceFileBytes(raw, AsBytes("saved"));
  EXPECT_EQ(ReadWholeFile(replaced), "unrelated");
  EXPECT_EQ(ReadWholeFile(raw), "saved");

  const std::string other = dir.Write("in\xEF\xBF\xBD.tmb", "not this one");
  const std::string input = dir.Write("in\xFF.tmb", "this one");
  EXPECT_EQ(ReadFileBytes(input, 100).Text(), "this one");
  EXPECT_EQ(ReadWholeFile(other), "not this one");
}

// A pipe whose reader has gone fails the write with its reason; the program goes on.
TEST(FileBytes, AWriteToAPipeNobodyReadsFailsWithItsReason) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  try {
    WriteAllBytes(fds[1], AsBytes("bytes"), "standard output");
    ADD_FAILURE() << "written";
  } catch (const KestrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot write to standard output: Broken pipe");
  }
  close(fds[1]);
}

}  // namespace
