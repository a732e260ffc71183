#pragma once
// Colours as the stored settings and the note paper keep them: 0x00BBGGRR.

#include <QString>

// Six hexadecimal digits, red first -> 0x00BBGGRR. Throws std::invalid_argument
// on text that is not six hexadecimal digits.
[[nodiscard]] qint32 HexToColor(const QString& text);
[[nodiscard]] qint32 LightenColor(qint32 color, int amount);
