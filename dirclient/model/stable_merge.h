#ifndef DIRCLIENT_STABLE_MERGE_H
#define DIRCLIENT_STABLE_MERGE_H

// Internal: stable merge sort used by SearchResults::sort. An element passes an earlier one
// only when the earlier one is strictly greater, which is the order the classic exchange
// sort leaves behind. Safe with any comparator: every step stays inside the arrays, and the
// result is always a permutation of the input.

#include <algorithm>
#include <cstddef>
#include <vector>

template <typename T, typename Greater>
void stable_merge_sort(std::vector<T>& items, Greater greater) {
    std::vector<T> scratch(items.size() / 2 + 1);
    struct Sorter {
        Greater& greater;
        T* scratch;

        void sort(T* first, std::size_t count) {
            if (count < 2) return;
            const std::size_t half = count / 2;
            sort(first, half);
            sort(first + half, count - half);
            // Runs already in order need no merge: presorted input costs one look per run.
            if (!greater(first[half - 1], first[half])) return;
            std::copy(first, first + half, scratch);
            std::size_t left = 0, right = half, out = 0;
            while (left < half && right < count) {
                if (greater(scratch[left], first[right]))
                    first[out++] = first[right++];
                else
                    first[out++] = scratch[left++];
            }
            while (left < half)
                first[out++] = scratch[left++];
        }
    };
    Sorter{greater, scratch.data()}.sort(items.data(), items.size());
}

#endif
