#pragma once

#include <QString>
#include <initializer_list>

// Exact comparison of two texts: no case folding, no trimming. A null text equals the empty text.
// Only "equal" (zero) is relied on by callers.
int textCompare(const QString &a, const QString &b);

// Concatenates the texts in the order given; null texts contribute nothing.
QString textJoin(std::initializer_list<QStringView> parts);

// How many bytes the text takes in the GBK code page. A character GBK cannot hold counts as four
// bytes, as GB18030 would store it.
int gbkByteLength(QStringView text);

// The longest prefix of text that fits in maxBytes GBK bytes.
QString truncateToGbkBytes(const QString &text, int maxBytes);

// The text as a narrow place shows it: at most maxChars characters (a surrogate pair is never
// split), followed by "…" when anything was left off.
QString shortenedForDisplay(const QString &text, qsizetype maxChars);

// A Chinese input method's full-width forms (U+FF01 to U+FF5E) as their ASCII forms and the
// ideographic space as a blank: every form, or only digits and Latin letters (for texts in which
// Chinese punctuation is meant as typed). The one fold of widths: dates, day counts, IP texts,
// searches and sheet headers all read through it.
QString halfWidth(QStringView text, bool digitsAndLettersOnly = false);
// Whether the text has any form halfWidth would change.
bool hasFullWidth(QStringView text);

// The login window's account and password boxes hold this many GBK bytes.
inline constexpr int kLoginBoxBytes = 20;

// Why the text could not be typed into a login box (longer than it holds, or a character GBK has
// no form for); empty when it can.
QString loginBoxRefusal(const QString &text);
