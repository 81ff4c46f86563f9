// The PLY header, the counts it announces, and our reader for binary little-endian vertex lists.
#include "formats/ply_file.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "formats/cloud_order.h"
#include "formats/file_bytes.h"
#include "formats/import_common.h"
#include "formats/memory_budget.h"
#include "formats/prefault.h"
#include "formats/wire_builder.h"
#include "scene/colour_codes.h"
#include "scene/error.h"

namespace {

// A header longer than this is left to the library (ours are a few hundred bytes).
constexpr size_t kLongestHeader = 64 * 1024;

enum class Encoding { Ascii, BinaryLittleEndian, BinaryBigEndian };

struct Property {
  std::string name;
  bool list = false;
  char kind = 0;      // 'i' signed, 'u' unsigned, 'f' real; of the items for a list
  int size = 0;       // bytes of the value, of each item for a list
  int countSize = 0;  // bytes of a list's count
};

struct Element {
  std::string name;
  uint64_t count = 0;
  std::vector<Property> properties;
};

struct Header {
  Encoding encoding = Encoding::Ascii;
  std::vector<Element> elements;
  size_t bytes = 0;  // up to and including the end_header line
  bool bareLineEnd = false;  // the end_header line ends with a line feed alone
};

struct Scalar {
  char kind;
  int size;
};

bool ScalarType(std::string_view name, Scalar& type) {
  static constexpr struct {
    std::string_view a, b;
    Scalar type;
  } kTypes[] = {{"char", "int8", {'i', 1}},     {"uchar", "uint8", {'u', 1}},
                {"short", "int16", {'i', 2}},   {"ushort", "uint16", {'u', 2}},
                {"int", "int32", {'i', 4}},     {"uint", "uint32", {'u', 4}},
                {"float", "float32", {'f', 4}}, {"double", "float64", {'f', 8}}};
  for (const auto& t : kTypes) {
    if (name == t.a || name == t.b) {
      type = t.type;
      return true;
    }
  }
  return false;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// A count of decimal digits; past 2^64 it stays at the largest value, which no check passes.
bool Count(std::string_view digits, uint64_t& count) {
  if (digits.empty()) return false;
  count = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    const uint64_t d = static_cast<uint64_t>(c - '0');
    count = count > (UINT64_MAX - d) / 10 ? UINT64_MAX : count * 10 + d;
  }
  return true;
}

struct Refusal {
  std::string reason;
  bool tooLarge = false;
};

[[noreturn]] void BadHeaderLine(int lineNumber, std::string_view line) {
  constexpr size_t kLongest = 40;
  std::string shown(line.substr(0, kLongest));
  if (line.size() > kLongest) shown += "…";
  throw Refusal{"line " + std::to_string(lineNumber + 1) + " of its header is not one a PLY " +
                "header holds: \"" + shown + "\""};
}

// The header at the start of `text`, refused unless it is a PLY header to its end: the library
// never sees one we do not understand, since it takes some of those for ever (a first line of
// "ply" and more, a line it does not know).
Header ParseHeader(std::string_view text) {
  Header header;
  size_t pos = 0;
  bool sawFormat = false;
  for (int lineNumber = 0;; ++lineNumber) {
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
      if (lineNumber == 0 && text != "ply") throw Refusal{"its first line is not \"ply\""};
      throw Refusal{text.size() < kLongestHeader ? std::string("its header has no end_header line")
                                                 : "its header does not end within its first " +
                                                       std::to_string(kLongestHeader) + " bytes"};
    }
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 0) {
      if (line != "ply") throw Refusal{"its first line is not \"ply\""};
      continue;
    }
    const std::vector<std::string_view> w = Words(line);
    if (w.empty() || w[0] == "comment" || w[0] == "obj_info") continue;
    if (w[0] == "end_header" && w.size() == 1) {
      header.bareLineEnd = end == 0 || text[end - 1] != '\r';
      break;
    }
    if (w[0] == "format" && w.size() == 3 && !sawFormat && w[2] == "1.0") {
      sawFormat = true;
      if (w[1] == "ascii") {
        header.encoding = Encoding::Ascii;
      } else if (w[1] == "binary_little_endian") {
        header.encoding = Encoding::BinaryLittleEndian;
      } else if (w[1] == "binary_big_endian") {
        header.encoding = Encoding::BinaryBigEndian;
      } else {
        BadHeaderLine(lineNumber, line);
      }
    } else if (w[0] == "element" && w.size() == 3) {
      Element element;
      element.name = w[1];
      if (!Count(w[2], element.count)) BadHeaderLine(lineNumber, line);
      header.elements.push_back(std::move(element));
    } else if (w[0] == "property" && !header.elements.empty()) {
      Property p;
      Scalar item{};
      if (w.size() == 3 && ScalarType(w[1], item)) {
        p.name = w[2];
      } else if (w.size() == 5 && w[1] == "list") {
        Scalar count{};
        if (!ScalarType(w[2], count) || count.kind == 'f' || !ScalarType(w[3], item)) {
          BadHeaderLine(lineNumber, line);
        }
        p.list = true;
        p.countSize = count.size;
        p.name = w[4];
      } else {
        BadHeaderLine(lineNumber, line);
      }
      p.kind = item.kind;
      p.size = item.size;
      header.elements.back().properties.push_back(std::move(p));
    } else {
      BadHeaderLine(lineNumber, line);
    }
  }
  if (!sawFormat) throw Refusal{"its header names no format"};
  header.bytes = pos;
  return header;
}

// The fewest bytes one item of `element` takes: a binary scalar its size and a list its count;
// in text every value at least a digit and a blank.
uint64_t SmallestItem(const Element& element, Encoding encoding) {
  uint64_t bytes = 0;
  for (const Property& p : element.properties) {
    bytes += encoding == Encoding::Ascii ? 2 : p.list ? p.countSize : p.size;
  }
  return bytes;
}

// Counts the file cannot hold are refused here, before the library allocates for them.
void CheckCounts(const Header& header, uint64_t fileSize) {
  uint64_t left = fileSize - header.bytes;
  for (const Element& e : header.elements) {
    if (e.count > WireBuilder::kMaxCount) {
      throw Refusal{"its header announces " + std::to_string(e.count) + " " + e.name +
                        " items, more than a model can hold (" +
                        std::to_string(WireBuilder::kMaxCount) + ")",
                    true};
    }
    // No overflow: a count below 2^31 times at most 8 bytes for each of the few thousand
    // properties a 64 KiB header can list.
    const uint64_t need = SmallestItem(e, header.encoding) * e.count;
    if (need > left) {
      throw Refusal{"its header announces " + std::to_string(e.count) + " " + e.name +
                    " items, more than the rest of the file can hold"};
    }
    left -= need;
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads `size` bytes at `offset`; false when the file ends first or cannot be read.
bool ReadAt(int fd, uint64_t offset, void* out, size_t size) {
  auto* p = static_cast<char*>(out);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

Header ReadHeader(int fd, uint64_t fileSize) {
  std::string text(static_cast<size_t>(std::min<uint64_t>(fileSize, kLongestHeader)), '\0');
  if (!ReadAt(fd, 0, text.data(), text.size())) throw Refusal{"it could not be read"};
  return ParseHeader(text);
}

// Where our reader finds what it reads in one vertex record.
struct VertexLayout {
  size_t stride = 0;
  int realSize = 0;  // x, y and z: 4 (float) or 8 (double)
  size_t x = 0, y = 0, z = 0;
  bool coloured = false;
  size_t red = 0, green = 0, blue = 0;
};

// The layout of a file our reader fully understands; no value for any other.
std::optional<VertexLayout> VertexListLayout(const Header& header, uint64_t fileSize) {
  if (std::endian::native != std::endian::little) return std::nullopt;
  if (header.encoding != Encoding::BinaryLittleEndian) return std::nullopt;
  const Element* vertices = nullptr;
  for (const Element& e : header.elements) {
    if (e.name == "vertex" && vertices == nullptr) {
      vertices = &e;
    } else if (e.count != 0) {
      return std::nullopt;
    }
  }
  if (vertices == nullptr || vertices->count == 0) return std::nullopt;
  VertexLayout layout;
  int seen[6] = {0, 0, 0, 0, 0, 0};
  size_t* offsets[6] = {&layout.x, &layout.y, &layout.z, &layout.red, &layout.green, &layout.blue};
  static constexpr std::string_view kNames[6] = {"x", "y", "z", "red", "green", "blue"};
  bool alpha = false;
  for (const Property& p : vertices->properties) {
    if (p.list) return std::nullopt;
    // The library takes these for colours too (an alpha alone as black).
    if (p.name == "r" || p.name == "g" || p.name == "b") return std::nullopt;
    alpha = alpha || p.name == "alpha";
    for (int k = 0; k < 6; ++k) {
      if (p.name != kNames[k]) continue;
      if (seen[k]++ != 0) return std::nullopt;
      if (k < 3) {
        if (p.kind != 'f' || (layout.realSize != 0 && layout.realSize != p.size)) {
          return std::nullopt;
        }
        layout.realSize = p.size;
      } else if (p.kind != 'u' || p.size != 1) {
        return std::nullopt;
      }
      *offsets[k] = layout.stride;
    }
    layout.stride += static_cast<size_t>(p.size);
  }
  if (seen[0] + seen[1] + seen[2] != 3) return std::nullopt;
  const int colours = seen[3] + seen[4] + seen[5];
  if ((colours != 0 && colours != 3) || (alpha && colours == 0)) return std::nullopt;
  layout.coloured = colours == 3;
  if (fileSize - header.bytes != vertices->count * layout.stride) return std::nullopt;
  return layout;
}

template <class Real>
Vec3 PositionAt(const uint8_t* record, const VertexLayout& layout) {
  Real x, y, z;
  std::memcpy(&x, record + layout.x, sizeof x);
  std::memcpy(&y, record + layout.y, sizeof y);
  std::memcpy(&z, record + layout.z, sizeof z);
  return Vec3{static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)};
}

// Reads `count` vertices from `body`, the first of them vertex `first` of the file, into
// `cloud`: as floats where the file holds floats, which is exact.
template <class Real, class Item>
void ReadVertices(const uint8_t* body, uint64_t first, uint64_t count, const VertexLayout& layout,
                  CloudBuilder<Item>& cloud) {
  const uint32_t white = MakeColor(255, 255, 255);
  for (uint64_t k = 0; k < count; ++k) {
    const uint8_t* record = body + k * layout.stride;
    const Vec3 p = PositionAt<Real>(record, layout);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      throw Refusal{"vertex " + std::to_string(first + k) + " is not at a finite position"};
    }
    const uint32_t colour =
        layout.coloured ? MakeColor(record[layout.blue], record[layout.green], record[layout.red])
                        : white;
    if constexpr (std::is_same_v<Item, FloatCloudPoint>) {
      cloud.Add(FloatCloudPoint{static_cast<float>(p.x), static_cast<float>(p.y),
                                static_cast<float>(p.z), colour});
    } else {
      cloud.Add(CloudPoint{p, colour, 0});
    }
  }
}

template <class Real, class Item>
SceneData ReadVertexList(const std::string& path, const Header& header, const VertexLayout& layout,
                         uint64_t count) {
  // The points sorted from the file (about its size), then the model and what its frames work
  // with: the model's share is the larger by far.
  const uint64_t needed = header.bytes + count * layout.stride + SceneBytes(count, count);
  RequireMemory(path, needed, needed);
  CloudBuilder<Item> cloud(static_cast<size_t>(count));
  // The file is read a piece at a time, never held whole, each vertex as its bytes come; one
  // cut between two pieces is put together first. Exactly the bytes the header asks for: a file
  // that grew since its header was read is refused as larger than that, one that shrank by the
  // size it then has.
  uint64_t skip = header.bytes;
  uint64_t read = 0;
  std::vector<uint8_t> cut(layout.stride);
  size_t held = 0;
  const uint64_t size =
      StreamFileBytes(path, header.bytes + count * layout.stride, [&](std::string_view text) {
        const auto* p = reinterpret_cast<const uint8_t*>(text.data());
        size_t left = text.size();
        const size_t skipped = static_cast<size_t>(std::min<uint64_t>(skip, left));
        p += skipped, left -= skipped, skip -= skipped;
        if (held > 0) {
          const size_t taken = std::min(left, layout.stride - held);
          std::memcpy(cut.data() + held, p, taken);
          p += taken, left -= taken, held += taken;
          if (held < layout.stride) return;
          ReadVertices<Real>(cut.data(), read++, 1, layout, cloud);
          held = 0;
        }
        const uint64_t whole = left / layout.stride;
        ReadVertices<Real>(p, read, whole, layout, cloud);
        read += whole;
        held = left - static_cast<size_t>(whole) * layout.stride;
        std::memcpy(cut.data(), p + whole * layout.stride, held);
      });
  if (size != header.bytes + count * layout.stride) {
    throw Refusal{"it ends before its last vertex"};
  }
  SceneData scene;
  cloud.Finish(scene);
  return scene;
}

SceneData ReadVertexList(const std::string& path, const Header& header,
                         const VertexLayout& layout) {
  uint64_t count = 0;
  for (const Element& e : header.elements) {
    if (e.name == "vertex") {
      count = e.count;
      break;
    }
  }
  return layout.realSize == 4 ? ReadVertexList<float, FloatCloudPoint>(path, header, layout, count)
                              : ReadVertexList<double, CloudPoint>(path, header, layout, count);
}

// The library takes a binary body's first byte for a second line end of the header when it is
// a line feed after a bare line feed (and then reads every value a byte late): it is handed such
// a file with the header's line end as CR LF, which it reads right. Where, if anywhere.
std::optional<uint64_t> CarriageReturnForLibrary(int fd, const Header& header, uint64_t fileSize) {
  if (header.encoding == Encoding::Ascii || !header.bareLineEnd || fileSize <= header.bytes) {
    return std::nullopt;
  }
  char first = 0;
  if (!ReadAt(fd, header.bytes, &first, 1)) throw Refusal{"it could not be read"};
  if (first != '\n') return std::nullopt;
  return header.bytes - 1;
}

// What the library needs to read a file our reader leaves to it.
struct LibraryRead {
  uint64_t bytes = 0;  // about what the library will hold for it, from its header's counts
  std::optional<uint64_t> carriageReturnAt;
};

// Both entry points: the header checked, then our reader where it understands the file and
// `ours` is set. No value where the library is to read it.
std::optional<SceneData> ReadUnderstood(const std::string& path, const MeshFormat& format,
                                        bool ours, LibraryRead& library) {
  // What the reading holds in all, for the message should memory run out all the same.
  uint64_t needed = 0;
  try {
    const FileDescriptor fd(OpenRegularFile(path));
    const uint64_t size = OpenFileSize(fd.get());
    needed = size;
    const Header header = ReadHeader(fd.get(), size);
    CheckCounts(header, size);
    const std::optional<VertexLayout> layout =
        ours ? VertexListLayout(header, size) : std::nullopt;
    uint64_t vertices = 0;
    uint64_t faces = 0;
    for (const Element& e : header.elements) {
      if (e.name == "vertex") vertices += e.count;
      if (e.name == "face") faces += e.count;
    }
    if (!layout) {
      library.bytes = LibraryMeshBytes(vertices, faces);
      library.carriageReturnAt = CarriageReturnForLibrary(fd.get(), header, size);
      return std::nullopt;
    }
    needed += SceneBytes(vertices, vertices);
    SceneData scene = ReadVertexList(path, header, *layout);
    scene.CommentLines =
        DescribeImport(path, format.name, scene.Points.size(), 0, scene.Segments.size());
    return scene;
  } catch (const Refusal& r) {
    throw KestrelError(r.tooLarge ? TooLargeMessage(format.name, path, r.reason)
                                  : DamagedMessage(format.name, path, r.reason));
  } catch (const std::bad_alloc&) {
    // The estimate fell short of what the allocator could give after all.
    throw NotEnoughMemory(path, needed);
  }
}

}  // namespace

std::optional<SceneData> ReadPlyVertexList(const std::string& path, const MeshFormat& format) {
  LibraryRead library;
  return ReadUnderstood(path, format, true, library);
}

SceneData ReadPlyWithLibrary(const std::string& path, const MeshFormat& format) {
  LibraryRead library;
  ReadUnderstood(path, format, false, library);
  return ReadMeshFile(path, format, library.bytes, library.carriageReturnAt);
}

SceneData ReadPlyFile(const std::string& path, const MeshFormat& format) {
  LibraryRead library;
  std::optional<SceneData> scene = ReadUnderstood(path, format, true, library);
  if (scene) return std::move(*scene);
  return ReadMeshFile(path, format, library.bytes, library.carriageReturnAt);
}
