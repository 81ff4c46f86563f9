// zlib's block writer, step for step: the order of the heap, the tie-breaks by depth, the
// repair of over-long codes and the block-type choice all decide the bits.
#include "formats/deflate/deflate_blocks.h"

#include <bit>
#include <cstring>

namespace deflate9 {

namespace {

constexpr int kEndBlock = 256;
constexpr int kRep3To6 = 16;
constexpr int kRepZ3To10 = 17;
constexpr int kRepZ11To138 = 18;

constexpr int kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kExtraBLBits[kBLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t kBLOrder[kBLCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

unsigned BitReverse(unsigned code, int len) {
  unsigned res = 0;
  do {
    res |= code & 1;
    code >>= 1;
    res <<= 1;
  } while (--len > 0);
  return res >> 1;
}

void GenCodes(TreeNode* tree, int maxCode, const uint16_t* blCount) {
  uint16_t nextCode[kMaxBits + 1];
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + blCount[bits - 1]) << 1;
    nextCode[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= maxCode; ++n) {
    const int len = tree[n].dl;
    if (len == 0) continue;
    tree[n].fc = static_cast<uint16_t>(BitReverse(nextCode[len]++, len));
  }
}

// zlib's tr_static_init: the fixed codes and the tables from lengths and distances to codes.
struct StaticTables {
  TreeNode ltree[kLCodes + 2] = {};
  TreeNode dtree[kDCodes] = {};
  uint8_t distCode[512] = {};
  uint8_t lengthCode[kMaxMatch - kMinMatch + 1] = {};
  int baseLength[kLengthCodes] = {};
  int baseDist[kDCodes] = {};

  StaticTables() {
    int length = 0;
    int code = 0;
    for (code = 0; code < kLengthCodes - 1; ++code) {
      baseLength[code] = length;
      for (int n = 0; n < (1 << kExtraLBits[code]); ++n) {
        lengthCode[length++] = static_cast<uint8_t>(code);
      }
    }
    // Length 258 has a code of its own, not the last of code 27's range.
    lengthCode[length - 1] = static_cast<uint8_t>(code);
    int dist = 0;
    for (code = 0; code < 16; ++code) {
      baseDist[code] = dist;
      for (int n = 0; n < (1 << kExtraDBits[code]); ++n) {
        distCode[dist++] = static_cast<uint8_t>(code);
      }
    }
    dist >>= 7;
    for (; code < kDCodes; ++code) {
      baseDist[code] = dist << 7;
      for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) {
        distCode[256 + dist++] = static_cast<uint8_t>(code);
      }
    }
    uint16_t blCount[kMaxBits + 1] = {};
    int n = 0;
    while (n <= 143) ltree[n++].dl = 8, blCount[8]++;
    while (n <= 255) ltree[n++].dl = 9, blCount[9]++;
    while (n <= 279) ltree[n++].dl = 7, blCount[7]++;
    while (n <= 287) ltree[n++].dl = 8, blCount[8]++;
    GenCodes(ltree, kLCodes + 1, blCount);
    for (n = 0; n < kDCodes; ++n) {
      dtree[n].dl = 5;
      dtree[n].fc = static_cast<uint16_t>(BitReverse(static_cast<unsigned>(n), 5));
    }
  }
};

const StaticTables& Tables() {
  static const StaticTables tables;
  return tables;
}

void Store64(uint8_t* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

DeflateBlocks::DeflateBlocks(std::vector<uint8_t>& out)
    : out_(out),
      lengthCode_(Tables().lengthCode),
      distCode_(Tables().distCode),
      stage_(std::make_unique<uint8_t[]>(kStage + sizeof(uint64_t))),
      next_(stage_.get()),
      lDesc_{dynLTree_, 0, Tables().ltree, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits},
      dDesc_{dynDTree_, 0, Tables().dtree, kExtraDBits, 0, kDCodes, kMaxBits},
      blDesc_{blTree_, 0, nullptr, kExtraBLBits, 0, kBLCodes, kMaxBLBits},
      sym_(std::make_unique<uint32_t[]>(kLitBufSize)) {
  InitBlock();
}

// Least significant bit first, as zlib's send_bits; the bytes depend only on the order of the
// bits, not on zlib's 16-bit buffer, so whole bytes go out as soon as there are any.
void DeflateBlocks::Bits(unsigned value, int length) {
  bitBuf_ |= uint64_t{value} << bitCount_;
  bitCount_ += length;
  Store64(next_, bitBuf_);
  next_ += bitCount_ >> 3;
  bitBuf_ >>= bitCount_ & ~7;
  bitCount_ &= 7;
}

// bi_windup: out to the next byte boundary, padded with zero bits.
void DeflateBlocks::Windup() {
  if (bitCount_ > 0) *next_++ = static_cast<uint8_t>(bitBuf_);
  bitBuf_ = 0;
  bitCount_ = 0;
}

void DeflateBlocks::Drain() {
  out_.insert(out_.end(), stage_.get(), next_);
  next_ = stage_.get();
}

void DeflateBlocks::InitBlock() {
  for (int n = 0; n < kLCodes; ++n) dynLTree_[n].fc = 0;
  for (int n = 0; n < kDCodes; ++n) dynDTree_[n].fc = 0;
  for (int n = 0; n < kBLCodes; ++n) blTree_[n].fc = 0;
  dynLTree_[kEndBlock].fc = 1;
  optLen_ = staticLen_ = 0;
  symCount_ = 0;
}

bool DeflateBlocks::Smaller(const TreeNode* tree, int n, int m) const {
  return tree[n].fc < tree[m].fc || (tree[n].fc == tree[m].fc && depth_[n] <= depth_[m]);
}

void DeflateBlocks::PqDownHeap(const TreeNode* tree, int k) {
  const int v = heap_[k];
  int j = k << 1;
  while (j <= heapLen_) {
    if (j < heapLen_ && Smaller(tree, heap_[j + 1], heap_[j])) ++j;
    if (Smaller(tree, v, heap_[j])) break;
    heap_[k] = heap_[j];
    k = j;
    j <<= 1;
  }
  heap_[k] = v;
}

void DeflateBlocks::GenBitLen(TreeDesc& desc) {
  TreeNode* tree = desc.dynTree;
  const int maxCode = desc.maxCode;
  const TreeNode* stree = desc.staticTree;
  const int maxLength = desc.maxLength;
  int overflow = 0;
  for (int bits = 0; bits <= kMaxBits; ++bits) blCount_[bits] = 0;
  tree[heap_[heapMax_]].dl = 0;
  int h;
  for (h = heapMax_ + 1; h < kHeapSize; ++h) {
    const int n = heap_[h];
    int bits = tree[tree[n].dl].dl + 1;
    if (bits > maxLength) bits = maxLength, ++overflow;
    tree[n].dl = static_cast<uint16_t>(bits);
    if (n > maxCode) continue;  // not a leaf
    blCount_[bits]++;
    const int xbits = n >= desc.extraBase ? desc.extraBits[n - desc.extraBase] : 0;
    const uint64_t f = tree[n].fc;
    optLen_ += f * static_cast<unsigned>(bits + xbits);
    if (stree) staticLen_ += f * static_cast<unsigned>(stree[n].dl + xbits);
  }
  if (overflow == 0) return;
  do {
    int bits = maxLength - 1;
    while (blCount_[bits] == 0) --bits;
    blCount_[bits]--;
    blCount_[bits + 1] += 2;
    blCount_[maxLength]--;
    overflow -= 2;
  } while (overflow > 0);
  for (int bits = maxLength; bits != 0; --bits) {
    int n = blCount_[bits];
    while (n != 0) {
      const int m = heap_[--h];
      if (m > maxCode) continue;
      if (tree[m].dl != bits) {
        // Unsigned and wrapping, as in zlib: the sum comes out right.
        optLen_ += (static_cast<uint64_t>(bits) - tree[m].dl) * tree[m].fc;
        tree[m].dl = static_cast<uint16_t>(bits);
      }
      --n;
    }
  }
}

void DeflateBlocks::BuildTree(TreeDesc& desc) {
  TreeNode* tree = desc.dynTree;
  const TreeNode* stree = desc.staticTree;
  const int elems = desc.elems;
  int maxCode = -1;
  heapLen_ = 0;
  heapMax_ = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree[n].fc != 0) {
      heap_[++heapLen_] = maxCode = n;
      depth_[n] = 0;
    } else {
      tree[n].dl = 0;
    }
  }
  // At least two codes, even where fewer are used.
  while (heapLen_ < 2) {
    const int node = heap_[++heapLen_] = (maxCode < 2 ? ++maxCode : 0);
    tree[node].fc = 1;
    depth_[node] = 0;
    optLen_--;
    if (stree) staticLen_ -= stree[node].dl;
  }
  desc.maxCode = maxCode;
  for (int n = heapLen_ / 2; n >= 1; --n) PqDownHeap(tree, n);
  int node = elems;
  do {
    const int n = heap_[1];
    heap_[1] = heap_[heapLen_--];
    PqDownHeap(tree, 1);
    const int m = heap_[1];
    heap_[--heapMax_] = n;
    heap_[--heapMax_] = m;
    tree[node].fc = static_cast<uint16_t>(tree[n].fc + tree[m].fc);
    depth_[node] = static_cast<uint8_t>((depth_[n] >= depth_[m] ? depth_[n] : depth_[m]) + 1);
    tree[n].dl = tree[m].dl = static_cast<uint16_t>(node);
    heap_[1] = node++;
    PqDownHeap(tree, 1);
  } while (heapLen_ >= 2);
  heap_[--heapMax_] = heap_[1];
  GenBitLen(desc);
  GenCodes(tree, maxCode, blCount_);
}

void DeflateBlocks::ScanTree(TreeNode* tree, int maxCode) {
  int prevlen = -1;
  int nextlen = tree[0].dl;
  int count = 0;
  int maxCount = nextlen == 0 ? 138 : 7;
  int minCount = nextlen == 0 ? 3 : 4;
  tree[maxCode + 1].dl = 0xffff;  // guard
  for (int n = 0; n <= maxCode; ++n) {
    const int curlen = nextlen;
    nextlen = tree[n + 1].dl;
    if (++count < maxCount && curlen == nextlen) continue;
    if (count < minCount) {
      blTree_[curlen].fc = static_cast<uint16_t>(blTree_[curlen].fc + count);
    } else if (curlen != 0) {
      if (curlen != prevlen) blTree_[curlen].fc++;
      blTree_[kRep3To6].fc++;
    } else if (count <= 10) {
      blTree_[kRepZ3To10].fc++;
    } else {
      blTree_[kRepZ11To138].fc++;
    }
    count = 0;
    prevlen = curlen;
    maxCount = nextlen == 0 ? 138 : curlen == nextlen ? 6 : 7;
    minCount = nextlen == 0 || curlen == nextlen ? 3 : 4;
  }
}

void DeflateBlocks::SendTree(const TreeNode* tree, int maxCode) {
  int prevlen = -1;
  int nextlen = tree[0].dl;
  int count = 0;
  int maxCount = nextlen == 0 ? 138 : 7;
  int minCount = nextlen == 0 ? 3 : 4;
  for (int n = 0; n <= maxCode; ++n) {
    const int curlen = nextlen;
    nextlen = tree[n + 1].dl;
    if (++count < maxCount && curlen == nextlen) continue;
    if (count < minCount) {
      do {
        SendCode(curlen, blTree_);
      } while (--count != 0);
    } else if (curlen != 0) {
      if (curlen != prevlen) {
        SendCode(curlen, blTree_);
        --count;
      }
      SendCode(kRep3To6, blTree_);
      Bits(static_cast<unsigned>(count - 3), 2);
    } else if (count <= 10) {
      SendCode(kRepZ3To10, blTree_);
      Bits(static_cast<unsigned>(count - 3), 3);
    } else {
      SendCode(kRepZ11To138, blTree_);
      Bits(static_cast<unsigned>(count - 11), 7);
    }
    count = 0;
    prevlen = curlen;
    maxCount = nextlen == 0 ? 138 : curlen == nextlen ? 6 : 7;
    minCount = nextlen == 0 || curlen == nextlen ? 3 : 4;
  }
}

int DeflateBlocks::BuildBLTree() {
  ScanTree(dynLTree_, lDesc_.maxCode);
  ScanTree(dynDTree_, dDesc_.maxCode);
  BuildTree(blDesc_);
  int maxBlIndex;
  for (maxBlIndex = kBLCodes - 1; maxBlIndex >= 3; --maxBlIndex) {
    if (blTree_[kBLOrder[maxBlIndex]].dl != 0) break;
  }
  optLen_ += 3 * (static_cast<uint64_t>(maxBlIndex) + 1) + 5 + 5 + 4;
  return maxBlIndex;
}

void DeflateBlocks::SendAllTrees(int lcodes, int dcodes, int blcodes) {
  Bits(static_cast<unsigned>(lcodes - 257), 5);
  Bits(static_cast<unsigned>(dcodes - 1), 5);
  Bits(static_cast<unsigned>(blcodes - 4), 4);
  for (int rank = 0; rank < blcodes; ++rank) Bits(blTree_[kBLOrder[rank]].dl, 3);
  SendTree(dynLTree_, lcodes - 1);
  SendTree(dynDTree_, dcodes - 1);
}

// compress_block. Each symbol's code and extra bits are looked up whole and go out together:
// at most 48 bits, which with the 7 left over from the last whole byte fit one 64-bit buffer.
void DeflateBlocks::CompressBlock(const TreeNode* ltree, const TreeNode* dtree) {
  const StaticTables& t = Tables();
  struct Code {
    uint32_t bits;
    uint32_t length;
  };
  Code lit[kLiterals];
  Code len[kMaxMatch - kMinMatch + 1];
  Code dist[kDCodes];
  for (int c = 0; c < kLiterals; ++c) lit[c] = {ltree[c].fc, ltree[c].dl};
  for (unsigned lc = 0; lc < kMaxMatch - kMinMatch + 1; ++lc) {
    const unsigned code = t.lengthCode[lc];
    const TreeNode& node = ltree[code + kLiterals + 1];
    // A code the block does not use has no length (past the last used one, ScanTree's guard).
    if (node.dl > kMaxBits) {
      len[lc] = {0, 0};
      continue;
    }
    // Length 258 has no extra bits; its code's base is not its length.
    const uint32_t extra =
        kExtraLBits[code] != 0 ? lc - static_cast<uint32_t>(t.baseLength[code]) : 0;
    len[lc] = {node.fc | extra << node.dl, node.dl + static_cast<uint32_t>(kExtraLBits[code])};
  }
  for (int code = 0; code < kDCodes; ++code) {
    dist[code] = {dtree[code].fc, dtree[code].dl};
  }
  // In locals: the stores of whole bytes could alias any member.
  uint64_t buf = bitBuf_;
  unsigned count = static_cast<unsigned>(bitCount_);
  uint8_t* next = next_;
  const uint32_t* const syms = sym_.get();
  const unsigned symCount = symCount_;
  const uint8_t* const distCode = t.distCode;
  for (unsigned i = 0; i < symCount; ++i) {
    const uint32_t sym = syms[i];
    if (sym < 256) {
      buf |= uint64_t{lit[sym].bits} << count;
      count += lit[sym].length;
    } else {
      const Code& l = len[sym & 0xff];
      buf |= uint64_t{l.bits} << count;
      count += l.length;
      const unsigned d = (sym >> 8) - 1;
      const unsigned code = d < 256 ? distCode[d] : distCode[256 + (d >> 7)];
      const uint64_t extra = d - static_cast<unsigned>(t.baseDist[code]);
      buf |= (dist[code].bits | extra << dist[code].length) << count;
      count += dist[code].length + static_cast<unsigned>(kExtraDBits[code]);
    }
    Store64(next, buf);
    next += count >> 3;
    buf >>= count & ~7u;
    count &= 7;
  }
  bitBuf_ = buf;
  bitCount_ = static_cast<int>(count);
  next_ = next;
  SendCode(kEndBlock, ltree);
}

void DeflateBlocks::FlushBlock(const uint8_t* stored, unsigned long storedLength, bool last) {
  BuildTree(lDesc_);
  BuildTree(dDesc_);
  const int maxBlIndex = BuildBLTree();
  uint64_t optLenb = (optLen_ + 3 + 7) >> 3;
  const uint64_t staticLenb = (staticLen_ + 3 + 7) >> 3;
  if (staticLenb <= optLenb) optLenb = staticLenb;
  const unsigned lastBit = last ? 1 : 0;
  if (static_cast<size_t>(next_ - stage_.get()) > kStage - kBlockRoom) Drain();
  if (storedLength + 4 <= optLenb && stored != nullptr) {
    Bits(lastBit, 3);  // a stored block
    Windup();
    const uint8_t header[4] = {
        static_cast<uint8_t>(storedLength), static_cast<uint8_t>(storedLength >> 8),
        static_cast<uint8_t>(~storedLength), static_cast<uint8_t>(~storedLength >> 8)};
    std::memcpy(next_, header, sizeof header);
    next_ += sizeof header;
    Drain();
    out_.insert(out_.end(), stored, stored + storedLength);
  } else if (staticLenb == optLenb) {
    Bits((1u << 1) + lastBit, 3);
    CompressBlock(Tables().ltree, Tables().dtree);
  } else {
    Bits((2u << 1) + lastBit, 3);
    SendAllTrees(lDesc_.maxCode + 1, dDesc_.maxCode + 1, maxBlIndex + 1);
    CompressBlock(dynLTree_, dynDTree_);
  }
  InitBlock();
  if (last) {
    Windup();
    Drain();
  }
}

}  // namespace deflate9
