#pragma once
// Internal to src/store/: how long one who waits for a new item's row waits.

namespace vesk {

enum class RowWait {
    // Until the row's first write is settled: at once, or once the check of the library file has
    // passed (or failed) when the row waits for it. A row the file refused is heard as not
    // written, as is an item no longer in the library: this is what an intake waits for before
    // it lets go of what it took in.
    FirstWrite,
    // Until the row is in the library file, however late a retry writes it; heard as not written
    // only when the item goes first.
    ThroughRetries,
};

} // namespace vesk
