#pragma once
// The input rules of the main window's fields and folder texts as pure functions.

#include <QString>
#include <optional>

namespace ParamRules {

// The multiplication sign that separates width and height in a frame size.
inline constexpr char16_t kTimes = u'×';

// A frame size text made valid: the text split at "×", the first two pieces whole numbers
// (blanks around them ignored), the height not 0; an odd width or height is raised by one.
// nullopt when the text is not such a size ("720×", "×720", "", "a×b", "640×0", numbers
// beyond 32 bits or negative).
std::optional<QString> NormalizedSize(const QString& text);

// The play length field made valid: its numeric value (empty or no number: 0), 0 stays 0,
// below 5 becomes 5, above 60 becomes 60.
QString ClampedLength(const QString& text);

// Typed characters the fields accept (backspace always passes).
bool IsSizeChar(QChar c);
bool IsDigitChar(QChar c);

// A text that can name a path at all: no NUL or other control character, none of | < > " * ?.
bool IsUsablePathText(const QString& text);

}  // namespace ParamRules
