// The encoder's optimal parse (MatchParse::kBest).
//
// The input is taken in blocks of up to 8192 positions. For every position
// of a block a binary tree match finder lists the candidate matches: for
// each length from 3 up to the longest there, the nearest position that
// long (the nearest costs least, the position code growing with the
// distance). Each choice is priced in bits with the model as it stands at
// the start of the block: a literal or a match length costs the depth of
// its leaf in the adaptive Huffman tree, a position its fixed code (9 to
// 14 bits). The cheapest path through the block, a shortest path over its
// positions, is found by dynamic programming and coded for real, up to its
// last few hundred positions: the next block parses those again, so that
// no match is cut short at a block's end.
//
// Pricing each block again with the model its first path leads to, and
// keeping the path that really codes smaller, gains nothing measurable
// (the model moves little within a block), so one pass is made. The stream
// is an ordinary one: every decoder reads it.
#pragma once

#include <cstdint>

#include "stream/encoder.h"

// Encodes exactly size bytes of input into one stream with the optimal
// parse. *written receives the stream bytes written.
EncodeResult EncodeBest(const EncodeIo& io, uint32_t size, uint64_t* written);
