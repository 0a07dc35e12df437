#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace vesk {

// The text of an upright picture, read by Tesseract's LSTM engine (English): the recognised lines
// in reading order joined by "\n", at most 120,000 user-perceived characters. Every line Tesseract
// returns is kept, however sure it is of it; it takes as long as the page needs (callers run it at
// low priority). Empty when the picture is null, holds no readable text or Tesseract cannot start.
// Each calling thread keeps its own Tesseract instance, so several pictures can be read at once.
// `cancelled`, when given, is asked while the page is read: true stops it and gives nothing.
QString recognizeTextInImage(const QImage& image, const std::function<bool()>& cancelled = {});

inline constexpr qsizetype kMaximumRecognisedCharacters = 120'000;

// The lines of a Tesseract result worth keeping: those with at least one letter or digit,
// trailing line breaks removed.
QStringList keptTextLines(const QStringList& lines);

} // namespace vesk
