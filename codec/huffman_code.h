#pragma once

#include <cstdint>

// Deflate's limits: its largest alphabet (literals and lengths) and its longest code.
constexpr int kHuffmanMaxSymbols = 286, kHuffmanLongestCode = 15;

// Code lengths of at most maxBits (up to kHuffmanLongestCode) for the n (up to kHuffmanMaxSymbols)
// symbols by their frequencies: 0 for a symbol that never occurs, 1 for the only one that does, and
// otherwise a Huffman code whose codes that came out too long are shortened and the others lengthened
// until they form a complete code again.
void HuffmanCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths);
