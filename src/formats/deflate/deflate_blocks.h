// zlib's block writer (its trees.c), rebuilt to write the same bits: literals and matches are
// tallied, and each block goes out stored, with the fixed codes or with Huffman codes of its
// own, chosen and built exactly as zlib chooses and builds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/deflate/deflate_params.h"

namespace deflate9 {

// A tree entry as zlib keeps it: frequency, later the code, in one half; parent, later the
// code length, in the other. Which half means what at each step matters for the bits.
struct TreeNode {
  uint16_t fc;
  uint16_t dl;
};

class DeflateBlocks {
 public:
  explicit DeflateBlocks(std::vector<uint8_t>& out);

  // Each returns true when the block is full and must be flushed.
  bool TallyLiteral(uint8_t c) {
    sym_[symCount_++] = c;
    dynLTree_[c].fc++;
    return symCount_ == kSymLimit;
  }
  bool TallyMatch(unsigned distance, unsigned length) {  // length less kMinMatch
    sym_[symCount_++] = distance << 8 | length;
    dynLTree_[lengthCode_[length] + kLiterals + 1].fc++;
    const unsigned d = distance - 1;
    dynDTree_[d < 256 ? distCode_[d] : distCode_[256 + (d >> 7)]].fc++;
    return symCount_ == kSymLimit;
  }

  // Writes the block tallied so far; `stored` is its uncompressed bytes, or null when they have
  // left the window (the block may then not go out stored). After the last block everything
  // written is in the output.
  void FlushBlock(const uint8_t* stored, unsigned long storedLength, bool last);

 private:
  static constexpr int kHeapSize = 2 * kLCodes + 1;
  // zlib's sym_end: a block holds one symbol less than its buffer has room for.
  static constexpr unsigned kSymLimit = kLitBufSize - 1;
  // Bytes gathered before they join the output, and the most one compressed block can take:
  // every symbol at its longest (48 bits) and the trees.
  static constexpr size_t kStage = size_t{1} << 19;
  static constexpr size_t kBlockRoom = (size_t{kLitBufSize} * 48 + 8192) / 8;

  struct TreeDesc {
    TreeNode* dynTree;
    int maxCode;
    const TreeNode* staticTree;
    const int* extraBits;
    int extraBase;
    int elems;
    int maxLength;
  };

  void Bits(unsigned value, int length);
  void Windup();
  void Drain();
  void SendCode(int c, const TreeNode* tree) { Bits(tree[c].fc, tree[c].dl); }
  void InitBlock();
  bool Smaller(const TreeNode* tree, int n, int m) const;
  void PqDownHeap(const TreeNode* tree, int k);
  void GenBitLen(TreeDesc& desc);
  void BuildTree(TreeDesc& desc);
  void ScanTree(TreeNode* tree, int maxCode);
  void SendTree(const TreeNode* tree, int maxCode);
  int BuildBLTree();
  void SendAllTrees(int lcodes, int dcodes, int blcodes);
  void CompressBlock(const TreeNode* ltree, const TreeNode* dtree);

  std::vector<uint8_t>& out_;
  // zlib's _length_code and _dist_code.
  const uint8_t* lengthCode_;
  const uint8_t* distCode_;
  // Bits not yet whole bytes, least significant first, and the bytes not yet in out_.
  uint64_t bitBuf_ = 0;
  int bitCount_ = 0;
  std::unique_ptr<uint8_t[]> stage_;
  uint8_t* next_;

  TreeNode dynLTree_[kHeapSize] = {};
  TreeNode dynDTree_[2 * kDCodes + 1] = {};
  TreeNode blTree_[2 * kBLCodes + 1] = {};
  TreeDesc lDesc_;
  TreeDesc dDesc_;
  TreeDesc blDesc_;
  uint16_t blCount_[kMaxBits + 1] = {};
  int heap_[kHeapSize] = {};
  int heapLen_ = 0;
  int heapMax_ = 0;
  uint8_t depth_[kHeapSize] = {};
  // Literals, and matches as distance << 8 | (length - kMinMatch).
  std::unique_ptr<uint32_t[]> sym_;
  unsigned symCount_ = 0;
  uint64_t optLen_ = 0;
  uint64_t staticLen_ = 0;
};

}  // namespace deflate9
