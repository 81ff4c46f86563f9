// zlib's deflate parameters for a 15-bit window, memory level 8 and compression level 9: the
// settings whose output deflate_level9 reproduces byte for byte.
#pragma once

namespace deflate9 {

inline constexpr unsigned kWBits = 15;
inline constexpr unsigned kWSize = 1u << kWBits;
inline constexpr unsigned kWMask = kWSize - 1;
inline constexpr unsigned kWindowSize = 2 * kWSize;
inline constexpr unsigned kHashBits = 8 + 7;  // memLevel + 7
inline constexpr unsigned kHashSize = 1u << kHashBits;
inline constexpr unsigned kHashMask = kHashSize - 1;
inline constexpr unsigned kHashShift = (kHashBits + 3 - 1) / 3;
inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 258;
inline constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
inline constexpr unsigned kMaxDist = kWSize - kMinLookahead;
inline constexpr unsigned kWinInit = kMaxMatch;
inline constexpr unsigned kLitBufSize = 1u << (8 + 6);  // memLevel + 6
inline constexpr unsigned kTooFar = 4096;
inline constexpr unsigned kNil = 0;

// The block codes (RFC 1951): literals, the end of block and the length codes in one alphabet,
// the distance codes in another, the code-length codes of a block's trees in a third.
inline constexpr int kLiterals = 256;
inline constexpr int kLengthCodes = 29;
inline constexpr int kLCodes = kLiterals + 1 + kLengthCodes;
inline constexpr int kDCodes = 30;
inline constexpr int kBLCodes = 19;
inline constexpr int kMaxBits = 15;   // the longest code
inline constexpr int kMaxBLBits = 7;  // the longest code-length code

// Level 9 of zlib's configuration table.
inline constexpr unsigned kGoodLength = 32;
inline constexpr unsigned kMaxLazy = 258;
inline constexpr unsigned kNiceLength = 258;
inline constexpr unsigned kMaxChain = 4096;

}  // namespace deflate9
