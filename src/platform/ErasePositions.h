#pragma once

#include <QList>
#include <QtGlobal>

#include <cstring>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

namespace vesk {

namespace detail {

template <typename List>
constexpr bool isRelocatableQList = false;
template <typename T>
constexpr bool isRelocatableQList<QList<T>> = QTypeInfo<T>::isRelocatable;

// eraseAtPositions for a QList of relocatable elements: the taken elements are destroyed and the
// stretches between them moved as memory, a few bytes an element, where moving each element on
// its own costs as much again for every member it has (a library's item has a dozen). The places
// left at the end or the front then hold copies of moved bytes: empty elements are made there
// (owning nothing) and dropped, which at the front only moves the list's start.
template <typename T>
void eraseRelocatable(QList<T>& list, const std::vector<qsizetype>& positions)
{
    const qsizetype size = list.size();
    const auto removed = qsizetype(positions.size());
    T* data = list.data();
    for (const qsizetype position : positions)
        data[position].~T();
    const auto move = [data](qsizetype to, qsizetype from, qsizetype count) {
        if (count > 0)
            std::memmove(static_cast<void*>(data + to), static_cast<const void*>(data + from), size_t(count) * sizeof(T));
    };
    if (size - positions.front() <= positions.back() + 1) {
        qsizetype out = positions.front();
        for (size_t i = 0; i < positions.size(); ++i) {
            const qsizetype from = positions[i] + 1;
            const qsizetype count = (i + 1 < positions.size() ? positions[i + 1] : size) - from;
            move(out, from, count);
            out += count;
        }
        for (qsizetype i = size - removed; i < size; ++i)
            new (data + i) T();
        list.resize(size - removed);
        return;
    }
    qsizetype out = positions.back() + 1;
    for (qsizetype i = removed - 1; i >= 0; --i) {
        const qsizetype from = i > 0 ? positions[size_t(i - 1)] + 1 : 0;
        const qsizetype count = positions[size_t(i)] - from;
        out -= count;
        move(out, from, count);
    }
    for (qsizetype i = 0; i < removed; ++i)
        new (data + i) T();
    list.remove(0, removed);
}

} // namespace detail

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
    if constexpr (detail::isRelocatableQList<List>) {
        detail::eraseRelocatable(list, positions);
        return;
    }
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
