// The OFF header's counts.
#include "formats/off_file.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "formats/file_bytes.h"
#include "formats/import_common.h"
#include "formats/wire_builder.h"
#include "scene/error.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The words at the start of `text`, skipping lines that begin with "#".
class Words {
 public:
  explicit Words(std::string_view text) : text_(text) {}
  bool Next(std::string_view& word) {
    for (;;) {
      while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
      if (pos_ < text_.size() && text_[pos_] == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
        continue;
      }
      break;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_])) ++pos_;
    word = text_.substr(start, pos_ - start);
    return !word.empty();
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool Count(std::string_view word, uint64_t& value) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  return error == std::errc() && end == word.data() + word.size();
}

// The fewest bytes a vertex ("0 0 0" and a line end) and a face (its corner count and a blank)
// take in an OFF file.
constexpr uint64_t kSmallestVertex = 6;
constexpr uint64_t kSmallestFace = 2;

}  // namespace

SceneData ReadOffFile(const std::string& path, const MeshFormat& format) {
  uint64_t libraryBytes = 0;
  {
    const int fd = OpenRegularFile(path);
    const uint64_t size = OpenFileSize(fd);
    std::string head(static_cast<size_t>(std::min<uint64_t>(size, 4096)), '\0');
    const ssize_t got = pread(fd, head.data(), head.size(), 0);
    close(fd);
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    // "OFF" and its variants with colours, normals or texture coordinates, then the vertex and
    // face counts. Any other start is the library's to judge.
    Words words(head);
    std::string_view keyword, vertexWord, faceWord;
    uint64_t vertices = 0;
    uint64_t faces = 0;
    if (words.Next(keyword) && keyword.ends_with("OFF") && keyword.size() <= 7 &&
        words.Next(vertexWord) && words.Next(faceWord) && Count(vertexWord, vertices) &&
        Count(faceWord, faces)) {
      if (vertices > WireBuilder::kMaxCount || faces > WireBuilder::kMaxCount) {
        throw KestrelError(TooLargeMessage(format.name, path,
                                           "its header announces " + std::to_string(vertices) +
                                               " vertices and " + std::to_string(faces) +
                                               " faces, more than a model can hold (" +
                                               std::to_string(WireBuilder::kMaxCount) + ")"));
      }
      if (vertices * kSmallestVertex + faces * kSmallestFace > size + kSmallestVertex) {
        throw KestrelError(DamagedMessage(format.name, path,
                                          "its header announces " + std::to_string(vertices) +
                                              " vertices and " + std::to_string(faces) +
                                              " faces, more than the file can hold"));
      }
      libraryBytes = LibraryMeshBytes(vertices, faces);
    }
  }
  return ReadMeshFile(path, format, libraryBytes);
}
