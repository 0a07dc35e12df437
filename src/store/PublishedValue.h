#pragma once

namespace vesk {

// Assigns only a different value, so observers of a published value never see a repeat.
template <typename T>
bool assignChanged(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace vesk
