#include "grid/LibraryGridCanvas.h"

namespace vesk {

// What the grid's state says of one card: kept apart from the canvas so the decision is read (and
// tested) without painting.
VeskCardFlags cardFlagsFor(const VeskItem& item, const GridState& state)
{
    VeskCardFlags flags;
    flags.isSelected = state.selectedID && *state.selectedID == item.id;
    flags.isMultiSelected = state.selectedIDs.contains(item.id);
    flags.isSearching = !state.searchText.isEmpty();
    flags.isTopResult = state.topResultID && *state.topResultID == item.id;
    flags.surfacePulse = state.surfacePulse;
    flags.capturePulse = state.capturePulseID && *state.capturePulseID == item.id;
    flags.isBroughtBack = state.broughtBackIDs.contains(item.id);
    return flags;
}

} // namespace vesk
