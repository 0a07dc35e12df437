#pragma once

#include <QVariant>

namespace vesk {

// The preview column's width arithmetic. The column sits on the trailing side, so a drag to the
// left (a negative translation) widens it.
namespace PreviewPaneWidth {

inline constexpr const char* kSettingKey = "veskPreviewPaneWidth";
inline constexpr double kDefault = 350;
inline constexpr double kMinimum = 300;
inline constexpr double kMaximum = 700;
// The library column never gets narrower than this.
inline constexpr double kLibraryMinimum = 590;
inline constexpr double kHandleWidth = 10;

double clamped(double width);
// The width shown while a drag of `dragTranslation` runs.
double effective(double storedWidth, double dragTranslation);
// The width stored when a drag ends with `translation` (a click stores the clamped width).
double committed(double storedWidth, double translation);
// The width the preview column gets in a split `splitWidth` wide: `width`, narrowed where needed
// so the library column keeps its minimum, but never below the preview's own minimum.
double shown(double width, double splitWidth);
// The stored setting; missing or not a finite number reads as the default. Not clamped: what is
// stored stays until the next drag replaces it.
double fromSetting(const QVariant& value);

} // namespace PreviewPaneWidth

} // namespace vesk
