// The native scene file (.ksl): one zlib stream around the body of native_body, saved and
// opened by the form, and the Save As command.
#include <zlib.h>

#include <utility>

#include "formats/file_bytes.h"
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

void TForm1::SaveKslFile(const std::string& fileName) {
  std::vector<uint8_t> body;
  try {
    body = EncodeKslBody(*this);
  } catch (const KestrelError& e) {
    throw KestrelError("Cannot save file \"" + fileName + "\": " + e.what());
  }
  const std::vector<uint8_t> packed = CompressStream(body, Z_BEST_COMPRESSION);
  ReplaceFileBytes(fileName, packed);
}

void TForm1::LoadKslFile(const std::string& fileName) {
  std::vector<uint8_t> body;
  try {
    // Bytes after the end of the zlib stream carry nothing and are ignored (DecompressStream
    // stops at the stream's end): a file padded on its way here still opens.
    body = DecompressStream(ReadFileBytes(fileName, LargestKslFile()).Bytes(), kMaxKslBodyBytes);
  } catch (const DecompressedTooLarge&) {
    throw KestrelError("The KSL file \"" + fileName + "\" unpacks to more than " +
                       std::to_string(kMaxKslBodyBytes >> 20) +
                       " MiB, more than any model it could hold");
  }
  if (!body.empty() && body[0] > FormatVersion) {
    Controls().ShowMessage("That KSL file is not compatible with this version of Kestrel",
                           ShownFileName(fileName) + ": format version " + std::to_string(body[0]) +
                               ", this version reads 0 to " + std::to_string(FormatVersion));
    return;
  }
  // The whole body is parsed and checked before anything changes: a damaged file leaves the
  // model on screen, its options, memo and view exactly as they were.
  SceneData scene;
  try {
    scene = DecodeKslBody(body, VecSize, IntSize);
  } catch (const KestrelError& e) {
    throw KestrelError("The KSL file \"" + fileName + "\" is damaged: " + e.what());
  }
  body = {};
  AdoptScene(std::move(scene));
}

void TForm1::SaveAs1Click() {
  std::string path;
  // The window's dialog filters "Kestrel File (*.ksl)|*.ksl" and appends "ksl"; it does not
  // ask before replacing a file.
  if (!Controls().RunSaveDialog(SaveDialogKind::Scene, path)) return;
  SaveKslFile(path);
}
