#include "codec/huffman_code.h"

#include <algorithm>

void HuffmanCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
    std::fill_n(lengths, n, uint8_t{0});
    int symbols[kHuffmanMaxSymbols], used = 0;
    for (int s = 0; s < n; ++s)
        if (freq[s] != 0)
            symbols[used++] = s;
    if (used < 2) {
        if (used == 1)
            lengths[symbols[0]] = 1;
        return;
    }
    std::stable_sort(symbols, symbols + used, [freq](int a, int b) { return freq[a] < freq[b]; });
    // Leaves in rising frequency, then the inner nodes, which come out in rising weight as well.
    uint32_t weight[2 * kHuffmanMaxSymbols];
    int parent[2 * kHuffmanMaxSymbols], depth[2 * kHuffmanMaxSymbols];
    for (int i = 0; i < used; ++i)
        weight[i] = freq[symbols[i]];
    int leaf = 0, inner = used;
    for (int node = used; node < 2 * used - 1; ++node) {
        weight[node] = 0;
        for (int child = 0; child < 2; ++child) {
            const int lightest =
                leaf < used && (inner >= node || weight[leaf] <= weight[inner]) ? leaf++ : inner++;
            parent[lightest] = node;
            weight[node] += weight[lightest];
        }
    }
    depth[2 * used - 2] = 0;
    int counts[kHuffmanLongestCode + 1] = {};
    for (int node = 2 * used - 3; node >= 0; --node) {
        depth[node] = depth[parent[node]] + 1;
        if (node < used)
            ++counts[std::min(depth[node], maxBits)];
    }
    uint32_t kraft = 0;
    for (int bits = 1; bits <= maxBits; ++bits)
        kraft += static_cast<uint32_t>(counts[bits]) << (maxBits - bits);
    while (kraft > (1u << maxBits)) {
        --counts[maxBits];
        for (int bits = maxBits - 1; bits > 0; --bits)
            if (counts[bits] != 0) {
                --counts[bits];
                counts[bits + 1] += 2;
                break;
            }
        --kraft;
    }
    // The rarest symbols get the longest codes.
    int next = 0;
    for (int bits = maxBits; bits > 0; --bits)
        for (int i = 0; i < counts[bits]; ++i)
            lengths[symbols[next++]] = static_cast<uint8_t>(bits);
}
