// Reading a whole file through the one piecewise read every reader uses.
#include "formats/file_bytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

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
      {folder, "file to open is a directory"},
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

}  // namespace
