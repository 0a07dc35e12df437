#pragma once

#include <QtGlobal>

#include <iterator>
#include <utility>
#include <vector>

namespace vesk {

// Takes out the elements at the given positions (ascending, each once, all inside the list) in one
// pass, moving only the elements on the shorter side: those after the first position, or those
// before the last. A list with room at its front (QList) or a deque then frees the front cheaply.
// Deleting a few items of a library of a hundred thousand moves what lies on one side of them,
// never the whole list once per item.
template <typename List>
void eraseAtPositions(List& list, const std::vector<qsizetype>& positions)
{
    if (positions.empty())
        return;
    const auto size = qsizetype(std::size(list));
    const qsizetype first = positions.front();
    const qsizetype last = positions.back();
    const auto removed = qsizetype(positions.size());
    if (size - first <= last + 1) {
        // Everything after the first position moves towards the front.
        qsizetype out = first;
        size_t next = 0;
        for (qsizetype i = first; i < size; ++i) {
            if (next < positions.size() && positions[next] == i) {
                ++next;
                continue;
            }
            list[out++] = std::move(list[i]);
        }
        list.erase(list.begin() + (size - removed), list.end());
        return;
    }
    // Everything before the last position moves towards the back.
    qsizetype out = last;
    qsizetype next = removed - 1;
    for (qsizetype i = last; i >= 0; --i) {
        if (next >= 0 && positions[size_t(next)] == i) {
            --next;
            continue;
        }
        list[out--] = std::move(list[i]);
    }
    list.erase(list.begin(), list.begin() + removed);
}

} // namespace vesk
