// The library's scene, walked node by node and handed to the wire builder.
#include "formats/mesh_import.h"

#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/cloud_order.h"
#include "formats/file_bytes.h"
#include "formats/import_common.h"
#include "formats/memory_budget.h"
#include "formats/wire_builder.h"
#include "scene/colour_codes.h"
#include "scene/error.h"

namespace {

// The array of a face's corners, as the allocator hands out three of them.
constexpr uint64_t kFaceCornersBytes = 32;

// A file the library reads, opened only when it is a regular file: a model may name its
// material library or its buffers, and a name that leads to a FIFO or a device must neither
// block the import nor feed it without end.
//
// The model's own file may be served with a carriage return before the line end at
// `carriageReturnAt` (see ReadMeshFile): every position past it one further on.
class RegularFileStream : public Assimp::IOStream {
 public:
  RegularFileStream(std::FILE* file, size_t size, size_t carriageReturnAt)
      : file_(file),
        size_(size + (carriageReturnAt < size ? 1 : 0)),
        carriageReturnAt_(carriageReturnAt < size ? carriageReturnAt : kNone) {}
  ~RegularFileStream() override { std::fclose(file_); }
  size_t Read(void* buffer, size_t size, size_t count) override {
    if (size == 0 || count > SIZE_MAX / size) return 0;
    auto* out = static_cast<char*>(buffer);
    size_t wanted = size * count;
    size_t done = 0;
    while (wanted > 0) {
      if (at_ == carriageReturnAt_) {
        out[done++] = '\r';
        ++at_;
        --wanted;
        continue;
      }
      const size_t piece = at_ < carriageReturnAt_ ? std::min(wanted, carriageReturnAt_ - at_)
                                                   : wanted;
      const size_t n = std::fread(out + done, 1, piece, file_);
      done += n;
      at_ += n;
      wanted -= n;
      if (n < piece) break;
    }
    return done / size;
  }
  size_t Write(const void*, size_t, size_t) override { return 0; }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    const size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? at_ : size_;
    const size_t limit = static_cast<size_t>(std::numeric_limits<off_t>::max());
    if (offset > limit || base > limit - offset) return aiReturn_FAILURE;
    const size_t to = base + offset;
    // In the file, the served carriage return and the line end after it are one position.
    const size_t inFile = to > carriageReturnAt_ ? to - 1 : to;
    if (fseeko(file_, static_cast<off_t>(inFile), SEEK_SET) != 0) return aiReturn_FAILURE;
    at_ = to;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return at_; }
  size_t FileSize() const override { return size_; }
  void Flush() override {}

 private:
  static constexpr size_t kNone = SIZE_MAX;
  std::FILE* file_;
  size_t size_;
  size_t carriageReturnAt_;
  size_t at_ = 0;  // where the next read starts, as the library sees the file
};

class RegularFileSystem : public Assimp::IOSystem {
 public:
  RegularFileSystem(std::string model, std::optional<uint64_t> carriageReturnAt)
      : model_(std::move(model)), carriageReturnAt_(carriageReturnAt) {}
  bool Exists(const char* path) const override {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
  }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* path, const char* mode) override {
    for (const char* m = mode; *m != '\0'; ++m) {
      if (*m == 'w' || *m == 'a' || *m == '+') return nullptr;  // the import writes nothing
    }
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
      close(fd);
      return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
      close(fd);
      return nullptr;
    }
    const size_t carriageReturnAt = path == model_ && carriageReturnAt_
                                        ? static_cast<size_t>(*carriageReturnAt_)
                                        : SIZE_MAX;
    return new RegularFileStream(file, static_cast<size_t>(info.st_size), carriageReturnAt);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

 private:
  std::string model_;
  std::optional<uint64_t> carriageReturnAt_;
};

// A node's transform from model to world, in double precision; the bottom row of the library's
// matrices is (0, 0, 0, 1) for every transform a model file can express, and is not read.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  bool identity = true;

  Affine Then(const aiMatrix4x4& local) const {
    const double l[3][4] = {{local.a1, local.a2, local.a3, local.a4},
                            {local.b1, local.b2, local.b3, local.b4},
                            {local.c1, local.c2, local.c3, local.c4}};
    Affine r;
    // Exactly the identity (the library's own test allows a hundredth off): only then are the
    // file's coordinates taken as they stand.
    r.identity = identity && local.a1 == 1 && local.a2 == 0 && local.a3 == 0 && local.a4 == 0 &&
                 local.b1 == 0 && local.b2 == 1 && local.b3 == 0 && local.b4 == 0 &&
                 local.c1 == 0 && local.c2 == 0 && local.c3 == 1 && local.c4 == 0;
    if (r.identity) return r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 4; ++j) {
        r.m[i][j] =
            m[i][0] * l[0][j] + m[i][1] * l[1][j] + m[i][2] * l[2][j] + (j == 3 ? m[i][3] : 0);
      }
    }
    return r;
  }

  Vec3 Apply(const aiVector3D& v) const {
    const double x = v.x, y = v.y, z = v.z;
    if (identity) return Vec3{x, y, z};
    return Vec3{m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3],
                m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3],
                m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3]};
  }
};

struct Instance {
  const aiMesh* mesh;
  unsigned meshIndex;
  Affine transform;
};

// What a mesh adds at most: its vertices as points, and per face one segment a corner (an
// outline), a line or a dot.
struct MeshBounds {
  uint64_t points = 0;
  uint64_t segments = 0;
};

// Why a file is refused, said without the file: the reader puts the name around it.
struct Refusal {
  std::string reason;
};

[[noreturn]] void Damaged(std::string reason) {
  throw Refusal{std::move(reason)};
}

std::string MeshName(unsigned index) {
  return "mesh " + std::to_string(index);
}

MeshBounds BoundsOf(const aiMesh& mesh, unsigned index) {
  MeshBounds b;
  b.points = mesh.mNumVertices;
  if (mesh.mNumVertices != 0 && mesh.mVertices == nullptr) {
    Damaged(MeshName(index) + " has no vertex positions");
  }
  if (mesh.mNumFaces == 0) {
    b.segments = mesh.mNumVertices;
    return b;
  }
  if (mesh.mFaces == nullptr) Damaged(MeshName(index) + " has no faces");
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    const aiFace& face = mesh.mFaces[f];
    if (face.mNumIndices != 0 && face.mIndices == nullptr) {
      Damaged("face " + std::to_string(f) + " of " + MeshName(index) + " has no corners");
    }
    b.segments += face.mNumIndices >= 3 ? face.mNumIndices : face.mNumIndices == 0 ? 0 : 1;
  }
  return b;
}

// Every mesh a node names, with the node's transform composed from the root down. Walked with a
// stack of our own: a file may nest its nodes deeper than the call stack would go.
std::vector<Instance> Instances(const aiScene& scene) {
  std::vector<Instance> instances;
  if (scene.mRootNode == nullptr) return instances;
  std::vector<std::pair<const aiNode*, Affine>> stack{{scene.mRootNode, Affine{}}};
  while (!stack.empty()) {
    const auto [node, parent] = stack.back();
    stack.pop_back();
    const Affine transform = parent.Then(node->mTransformation);
    for (unsigned k = 0; k < node->mNumMeshes; ++k) {
      const unsigned index = node->mMeshes[k];
      if (index >= scene.mNumMeshes || scene.mMeshes[index] == nullptr) {
        Damaged("a node names " + MeshName(index) + ", which does not exist");
      }
      instances.push_back(Instance{scene.mMeshes[index], index, transform});
    }
    // Pushed in reverse, so children are walked in the file's order.
    for (unsigned c = node->mNumChildren; c-- > 0;) {
      if (node->mChildren[c] != nullptr) stack.emplace_back(node->mChildren[c], transform);
    }
  }
  return instances;
}

uint32_t ColourOf(const aiColor4D& c) {
  return MakeColor(ChannelByte(c.b), ChannelByte(c.g), ChannelByte(c.r));
}

// The colour of a mesh without vertex colours: its material's diffuse colour, where the file
// gave the material (the library names those it makes up "DefaultMaterial"), else the default
// colour, white as on the black background a load starts with.
uint32_t MeshColour(const aiScene& scene, const aiMesh& mesh, const MeshFormat& format) {
  const uint32_t white = MakeColor(255, 255, 255);
  if (!format.hasMaterials || mesh.mMaterialIndex >= scene.mNumMaterials) return white;
  const aiMaterial* material = scene.mMaterials[mesh.mMaterialIndex];
  if (material == nullptr) return white;
  aiString name;
  if (material->Get(AI_MATKEY_NAME, name) == aiReturn_SUCCESS &&
      std::string_view(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME) {
    return white;
  }
  aiColor4D diffuse;
  if (material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) != aiReturn_SUCCESS) return white;
  return ColourOf(diffuse);
}

class MeshConverter {
 public:
  MeshConverter(const aiScene& scene, const MeshFormat& format, WireBuilder& builder)
      : scene_(scene), format_(format), builder_(builder) {}

  void Convert(const Instance& instance) {
    const aiMesh& mesh = *instance.mesh;
    mesh_ = &mesh;
    meshIndex_ = instance.meshIndex;
    transform_ = &instance.transform;
    colours_ = mesh.mColors[0];
    meshColour_ = MeshColour(scene_, mesh, format_);
    if (mesh.mNumFaces == 0) {
      for (unsigned v = 0; v < mesh.mNumVertices; ++v) builder_.AddLoneDot(Position(v), Colour(v));
      return;
    }
    remap_.assign(mesh.mNumVertices, kUnset);
    // A block of faces at a time: first all their new corners are merged, then all their
    // edges added, each in one batch whose lookups overlap.
    for (unsigned begin = 0; begin < mesh.mNumFaces; begin += kBlock) {
      const unsigned end = std::min(mesh.mNumFaces, begin + kBlock);
      newVertices_.clear();
      newPositions_.clear();
      for (unsigned f = begin; f < end; ++f) {
        const aiFace& face = mesh.mFaces[f];
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
          const unsigned v = face.mIndices[k];
          if (v >= mesh.mNumVertices) {
            Damaged("face " + std::to_string(f) + " of " + MeshName(meshIndex_) + " names vertex " +
                    std::to_string(v) + ", which does not exist");
          }
          if (remap_[v] != kUnset) continue;
          remap_[v] = kPending;
          newVertices_.push_back(v);
          newPositions_.push_back(Position(v));
        }
      }
      merged_.resize(newVertices_.size());
      builder_.MergePoints(newPositions_, merged_.data());
      for (size_t i = 0; i < newVertices_.size(); ++i) remap_[newVertices_[i]] = merged_[i];

      pieces_.clear();
      for (unsigned f = begin; f < end; ++f) {
        const aiFace& face = mesh.mFaces[f];
        const unsigned n = face.mNumIndices;
        if (n == 1) {
          const uint32_t point = remap_[face.mIndices[0]];
          pieces_.push_back(WireBuilder::Piece{point, point, Colour(face.mIndices[0])});
        } else if (n == 2) {
          Edge(face.mIndices[0], face.mIndices[1]);
        } else {
          for (unsigned k = 0; k < n; ++k) Edge(face.mIndices[k], face.mIndices[(k + 1) % n]);
        }
      }
      builder_.AddPieces(pieces_);
    }
  }

 private:
  static constexpr unsigned kBlock = 1024;
  // Marks in remap_: not yet seen, and seen in this block but not yet merged. Neither is the
  // index of a point, which stays below 2^31.
  static constexpr uint32_t kUnset = ~uint32_t{0};
  static constexpr uint32_t kPending = kUnset - 1;

  Vec3 Position(unsigned v) const {
    const Vec3 p = transform_->Apply(mesh_->mVertices[v]);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      // Said as our PLY reader says it, which reads one mesh: the two readers of a file agree.
      Damaged("vertex " + std::to_string(v) +
              (scene_.mNumMeshes > 1 ? " of " + MeshName(meshIndex_) : std::string()) +
              " is not at a finite position");
    }
    return p;
  }

  uint32_t Colour(unsigned v) const { return colours_ ? ColourOf(colours_[v]) : meshColour_; }

  // A line takes the mean of its two corners' colours, from the face that first offers it. A
  // degenerate face's edge between two corners at the same place is no line.
  void Edge(unsigned a, unsigned b) {
    const uint32_t first = remap_[a];
    const uint32_t second = remap_[b];
    if (first == second) return;
    const uint32_t colour = colours_ ? MeanColour(Colour(a), Colour(b)) : meshColour_;
    pieces_.push_back(WireBuilder::Piece{first, second, colour});
  }

  const aiScene& scene_;
  const MeshFormat& format_;
  WireBuilder& builder_;
  const aiMesh* mesh_ = nullptr;
  unsigned meshIndex_ = 0;
  const Affine* transform_ = nullptr;
  const aiColor4D* colours_ = nullptr;
  uint32_t meshColour_ = 0;
  // Library vertex → model point, for the mesh being converted.
  std::vector<uint32_t> remap_;
  // The block being converted: its corners seen for the first time, where they are, the points
  // they became, and its lines and dots.
  std::vector<unsigned> newVertices_;
  std::vector<Vec3> newPositions_;
  std::vector<uint32_t> merged_;
  std::vector<WireBuilder::Piece> pieces_;
};

// What the library holds of the scene it read: each mesh's vertex arrays and its faces.
uint64_t LibraryBytes(const aiScene& scene) {
  uint64_t bytes = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh* mesh = scene.mMeshes[m];
    if (mesh == nullptr) continue;
    uint64_t perVertex = sizeof(aiVector3D);
    for (const aiVector3D* array : {mesh->mNormals, mesh->mTangents, mesh->mBitangents}) {
      if (array != nullptr) perVertex += sizeof(aiVector3D);
    }
    for (unsigned k = 0; k < AI_MAX_NUMBER_OF_COLOR_SETS; ++k) {
      if (mesh->mColors[k] != nullptr) perVertex += sizeof(aiColor4D);
    }
    for (unsigned k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k) {
      if (mesh->mTextureCoords[k] != nullptr) perVertex += sizeof(aiVector3D);
    }
    bytes += uint64_t{mesh->mNumVertices} * perVertex +
             uint64_t{mesh->mNumFaces} * (sizeof(aiFace) + kFaceCornersBytes);
  }
  return bytes;
}

// The library's reason, or what stands in for it when it gives none.
std::string LibraryReason(const char* text) {
  std::string reason = text == nullptr ? "" : text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return reason.empty() ? "it is not a file this format can hold" : reason;
}

}  // namespace

uint64_t LibraryMeshBytes(uint64_t vertices, uint64_t faces) {
  return vertices * (2 * sizeof(aiVector3D) + sizeof(aiColor4D)) +
         faces * (sizeof(aiFace) + kFaceCornersBytes);
}

SceneData ReadMeshFile(const std::string& path, const MeshFormat& format, uint64_t libraryBytes,
                       std::optional<uint64_t> carriageReturnAt) {
  // Our own words for a name that is missing or not a regular file, before the library's.
  uint64_t fileSize = 0;
  {
    const int fd = OpenRegularFile(path);
    fileSize = OpenFileSize(fd);
    close(fd);
  }
  // What the step under way holds in all, for the message should memory run out all the same.
  uint64_t needed = fileSize + libraryBytes;
  try {
    // The library holds the file while it reads it, and what it makes of it.
    RequireMemory(path, needed, needed);
    Assimp::Importer importer;
    importer.SetIOHandler(new RegularFileSystem(path, carriageReturnAt));
    // A file of bones without meshes would otherwise be drawn as a made-up skeleton.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene == nullptr) {
      const std::string reason = LibraryReason(importer.GetErrorString());
      if (reason.find("bad_alloc") != std::string::npos) throw std::bad_alloc();
      throw KestrelError(DamagedMessage(format.name, path, reason));
    }

    SceneData data;
    try {
      const uint64_t held = LibraryBytes(*scene);
      const std::vector<Instance> instances = Instances(*scene);
      std::vector<MeshBounds> bounds(scene->mNumMeshes);
      std::vector<bool> bounded(scene->mNumMeshes, false);
      MeshBounds total;
      uint64_t largestMesh = 0;
      for (const Instance& i : instances) {
        if (!bounded[i.meshIndex]) bounds[i.meshIndex] = BoundsOf(*i.mesh, i.meshIndex);
        bounded[i.meshIndex] = true;
        total.points += bounds[i.meshIndex].points;
        total.segments += bounds[i.meshIndex].segments;
        largestMesh = std::max<uint64_t>(largestMesh, i.mesh->mNumVertices);
        // Checked as the sums grow: a node may name one large mesh millions of times.
        if (total.points > WireBuilder::kMaxCount || total.segments > WireBuilder::kMaxCount) {
          throw KestrelError("it holds more points or segments than a model can (" +
                             std::to_string(WireBuilder::kMaxCount) + ")");
        }
      }
      // The merging's tables, and the map from the library's vertices to the model's points.
      const uint64_t merging =
          WireBuilder::StartBytes(total.points, total.segments) + largestMesh * sizeof(uint32_t);
      needed = held + merging;
      RequireMemory(path, merging, needed);
      WireBuilder builder(total.points, total.segments);
      {
        MeshConverter converter(*scene, format, builder);
        for (const Instance& i : instances) converter.Convert(i);
      }
      importer.FreeScene();  // before the model's arrays are made
      if (builder.PointCount() == 0) Damaged("it holds no points, lines or faces");
      // Now the counts are exact: the model's arrays, and what its frames work with.
      const uint64_t model =
          SceneBytes(builder.PointCount(), builder.LineCount() + builder.DotCount());
      needed = builder.Bytes() + model;
      RequireMemory(path, model, needed);
      data.CommentLines = DescribeImport(path, format.name, builder.PointCount(),
                                         builder.LineCount(), builder.DotCount());
      builder.Finish(data);
      PutCloudInDepthOrder(data);
    } catch (const Refusal& r) {
      throw KestrelError(DamagedMessage(format.name, path, r.reason));
    } catch (const NotEnoughMemory&) {
      throw;
    } catch (const KestrelError& e) {
      // Only counts are refused this way, here or by the builder, before anything is allocated
      // for them.
      throw KestrelError(TooLargeMessage(format.name, path, e.what()));
    }
    return data;
  } catch (const std::bad_alloc&) {
    // The estimate fell short of what the allocator could give after all.
    throw NotEnoughMemory(path, needed);
  }
}
