// The native scene file (.ksl): one zlib stream around the body of native_body, saved and
// opened by the form, and the Save As command.
#include "formats/native_file.h"

#include <zlib.h>

#include <new>
#include <utility>

#include "formats/file_bytes.h"
#include "formats/memory_budget.h"
#include "formats/native_body.h"
#include "formats/zlib_stream.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"

namespace {

// A file bigger than the largest stream an accepted body compresses to holds either such a
// stream followed by bytes nobody reads, or nothing we open; it is refused before it is read.
uint64_t LargestKslFile() {
  return compressBound(kMaxKslBodyBytes);
}

}  // namespace

std::vector<uint8_t> KslFileBytes(const TForm1& form) {
  return CompressStream(EncodeKslBody(form), Z_BEST_COMPRESSION);
}

void TForm1::SaveKslFile(const std::string& fileName) {
  std::vector<uint8_t> packed;
  try {
    packed = KslFileBytes(*this);
  } catch (const KestrelError& e) {
    throw KestrelError("Cannot save file \"" + fileName + "\": " + e.what());
  }
  ReplaceFileBytes(fileName, packed);
}

LoadResult LoadKestrelScene(TForm1& form, const std::string& fileName) {
  // What the load is known to need so far, for the message should memory run out all the same.
  uint64_t needed = 0;
  SceneData scene;
  try {
    std::vector<uint8_t> body;
    try {
      const FileContents file = ReadFileBytes(fileName, LargestKslFile());
      needed = file.size;
      // Bytes after the end of the zlib stream carry nothing and are ignored (DecompressStream
      // stops at the stream's end): a file padded on its way here still opens. The body's size
      // is known only as it unpacks: each growth of its room is asked for first.
      body = DecompressStream(file.Bytes(), kMaxKslBodyBytes, [&](size_t room) {
        needed = file.size + room;
        RequireMemory(fileName, room, needed);
      });
    } catch (const DecompressedTooLarge&) {
      throw KestrelError("The KSL file \"" + fileName + "\" unpacks to more than " +
                         std::to_string(kMaxKslBodyBytes >> 20) +
                         " MiB, more than any model it could hold");
    }
    if (!body.empty() && body[0] > FormatVersion) {
      form.Controls().ShowMessage("That KSL file is not compatible with this version of Kestrel",
                                  ShownFileName(fileName) + ": format version " +
                                      std::to_string(body[0]) + ", this version reads 0 to " +
                                      std::to_string(FormatVersion));
      return LoadResult::Refused;
    }
    // The whole body is parsed and checked before anything changes: a damaged file leaves the
    // model on screen, its options, memo and view exactly as they were.
    const uint64_t sceneBytes = KslSceneBytes(body, form.VecSize, form.IntSize);
    needed = body.size() + sceneBytes;
    RequireMemory(fileName, sceneBytes, needed);
    try {
      scene = DecodeKslBody(body, form.VecSize, form.IntSize);
    } catch (const KestrelError& e) {
      throw KestrelError("The KSL file \"" + fileName + "\" is damaged: " + e.what());
    }
  } catch (const std::bad_alloc&) {
    throw NotEnoughMemory(fileName, needed);
  }
  return form.AdoptScene(std::move(scene)) ? LoadResult::Shown : LoadResult::Unfitted;
}

void TForm1::LoadKslFile(const std::string& fileName) {
  LoadKestrelScene(*this, fileName);
}

void TForm1::SaveAs1Click() {
  std::string path;
  // The window's dialog filters "Kestrel File (*.ksl)|*.ksl" and appends "ksl"; it does not
  // ask before replacing a file.
  int filterIndex = 1;
  if (!Controls().RunSaveDialog(SaveDialogKind::Scene, path, filterIndex)) return;
  SaveKslFile(path);
}
