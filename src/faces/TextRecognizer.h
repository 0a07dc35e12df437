#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace vesk {

// The text of an upright picture, read by Tesseract's LSTM engine (English): the recognised lines
// in reading order joined by "\n", at most 120,000 user-perceived characters. Lines Tesseract is
// not confident of (textures and noise read as letters) are left out. Empty when the picture is
// null, holds no readable text or Tesseract cannot start. Each calling thread keeps its own
// Tesseract instance, so several pictures can be read at once.
QString recognizeTextInImage(const QImage& image);

inline constexpr qsizetype kMaximumRecognisedCharacters = 120'000;

// The lines of a Tesseract result worth keeping, given each line's text and confidence (0..100):
// confident lines with at least one letter or digit, trailing line breaks removed.
QStringList keptTextLines(const QStringList& lines, const QList<float>& confidences);

inline constexpr float kTextLineConfidenceThreshold = 55.0f;

} // namespace vesk
