#pragma once

#include "model/ItemText.h"

namespace vesk {

// Which of the system's markers a searchable text holds anywhere in it.
struct TextMarkers {
    bool secret = false;
    bool creditCard = false;
    bool htmlSource = false;
};

// The markers of the text. Cards and the preview ask on every paint, and one pass over a text of
// megabytes takes longer than a frame, so the answer for a long text is remembered with its
// buffer (safe on any thread): the same text shared by its copies is read once, wherever that
// happens first.
TextMarkers textMarkers(const ItemText& searchableText);

// Lets go of the remembered texts that nothing else holds any more (a deleted note's), which
// would otherwise stay in memory until other long texts take their places.
void forgetUnheldTextMarkers();
// How many long texts' markers are remembered; for tests.
qsizetype rememberedTextMarkers();

} // namespace vesk
