// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// Characters of log text taken 8 at a time in a little-endian word, the first in
// the lowest byte: how the text readers pass over runs of digits and blanks
// without a branch per character.

#include <QtAlgorithms>
#include <QtEndian>
#include <QtGlobal>

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TextWords
{
constexpr quint64 ones = 0x0101010101010101ULL;
constexpr quint64 highBits = 0x8080808080808080ULL;

Q_ALWAYS_INLINE quint64 load8(const char *at)
{
    return qFromLittleEndian<quint64>(at);
}

// Bit 7 of each byte of the result: whether that byte of v lies in [low, high]
// (high at most 0x7F). Each byte is tested alone: its bit 7 is set aside first,
// so that no carry or borrow crosses into the next byte.
Q_ALWAYS_INLINE quint64 inRange(quint64 v, quint8 low, quint8 high)
{
    const quint64 low7 = v & ~highBits;
    const quint64 fromLow = low7 + ones * (0x80 - low);
    const quint64 aboveHigh = low7 + ones * (0x7F - high);
    return fromLow & ~aboveHigh & ~v & highBits;
}

// Bit 7 of each byte of the result: whether that byte of v is below limit
// (at most 0x80): blanks, line ends and other control characters for 0x21.
Q_ALWAYS_INLINE quint64 below(quint64 v, quint8 limit)
{
    return ~(((v & ~highBits) + ones * (0x80 - limit)) | v) & highBits;
}

// Bit 7 of each byte of the result: whether that byte of v is other than c.
// The low 7 bits of each byte of v ^ c are added to 0x7F, so that only a zero
// byte leaves bit 7 clear, with no carry into the next byte.
Q_ALWAYS_INLINE quint64 differs(quint64 v, char c)
{
    const quint64 x = v ^ (ones * static_cast<quint8>(c));
    return (((x & ~highBits) + ~highBits) | x) & highBits;
}

// The first byte whose bit 7 is set in marks, counted from the lowest; 8 if none.
Q_ALWAYS_INLINE int firstMarked(quint64 marks)
{
    return marks == 0 ? 8 : static_cast<int>(qCountTrailingZeroBits(marks) / 8);
}

// How many of the characters in v are decimal digits before one that is not.
Q_ALWAYS_INLINE int leadingDigits(quint64 v)
{
    return firstMarked(~inRange(v, '0', '9') & highBits);
}

// The value of the first count (1 to 8) digits in v: shifted up so that zeros
// lead, then pairs, quads and the eight combined in three multiplications.
Q_ALWAYS_INLINE quint64 digitsValue(quint64 v, int count)
{
    v = (v & 0x0F0F0F0F0F0F0F0FULL) << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    return (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
}

#if defined(__SSE2__)
// All ones in each byte of c that lies in [low, low + span], zero in the rest:
// c - low, wrapping below zero, is at most span only for those.
Q_ALWAYS_INLINE __m128i inRange(__m128i c, char low, char span)
{
    const __m128i top = _mm_set1_epi8(span);
    return _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(c, _mm_set1_epi8(low)), top), top);
}

// Which of the 16 characters in c are hex digits, bit n for character n, and
// each one's value in nibbles (anything for a character that is not one).
Q_ALWAYS_INLINE unsigned hexNibbles(__m128i c, __m128i &nibbles)
{
    const __m128i digits = inRange(c, '0', 9);
    const __m128i letters = inRange(_mm_or_si128(c, _mm_set1_epi8(0x20)), 'a', 5); // either case
    nibbles = _mm_add_epi8(_mm_and_si128(c, _mm_set1_epi8(0x0F)), _mm_and_si128(letters, _mm_set1_epi8(9)));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digits, letters)));
}

// Nibble values paired as pairNibbles() pairs them, eight pairs at once.
Q_ALWAYS_INLINE __m128i pairNibbles(__m128i nibbles)
{
    return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0x00F0)), _mm_srli_epi16(nibbles, 8));
}
#endif

// The word [at, wordEnd), "units[.fraction]" with 1 to 7 digits of units and
// up to 8 of fraction, in units of 10^-scale (scale at most 6), the fraction cut
// to scale digits; false for any other word, or one with fewer than 8
// characters to end after its units or its point.
Q_ALWAYS_INLINE bool fixedPointWord(const char *at, const char *wordEnd, const char *end, int scale, qint64 &value)
{
    static constexpr qint64 powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (end - at < 8) {
        return false;
    }
#if defined(__SSE2__)
    // A word within 16 characters, as a line's time is, told from the marks of
    // its digits in the vector registers.
    if (end - at >= 16 && wordEnd - at <= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const auto marks = static_cast<unsigned>(_mm_movemask_epi8(inRange(c, '0', 9)));
        const int digits = static_cast<int>(qCountTrailingZeroBits(~marks));
        const int size = static_cast<int>(wordEnd - at);
        if (digits == 0 || digits >= 8) {
            return false;
        }
        const int fractionSize = size - digits - 1;
        const unsigned fractionMarks = (1u << (fractionSize < 0 ? 0 : fractionSize)) - 1;
        if (fractionSize >= 0
            && (at[digits] != '.' || fractionSize > 8 || ((marks >> (digits + 1)) & fractionMarks) != fractionMarks)) {
            return false;
        }
        const int kept = fractionSize < 0 ? 0 : fractionSize < scale ? fractionSize : scale;
        // The units in one 64-bit lane and the fraction kept in the other, each
        // moved up so that zeros lead (all of it, past 64 bits, for none kept),
        // both read at once as digitsValue() reads one.
        const __m128i nibbles = _mm_set1_epi8(0x0F);
        const __m128i fraction = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(at + digits + 1));
        __m128i v =
            _mm_unpacklo_epi64(_mm_sll_epi64(_mm_and_si128(c, nibbles), _mm_cvtsi32_si128(8 * (8 - digits))),
                               _mm_sll_epi64(_mm_and_si128(fraction, nibbles), _mm_cvtsi32_si128(8 * (8 - kept))));
        v = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10)),
                          _mm_srli_epi16(v, 8));
        v = _mm_madd_epi16(v, _mm_set1_epi32(1 << 16 | 100));
        v = _mm_add_epi64(_mm_mul_epu32(v, _mm_set1_epi32(10000)), _mm_srli_epi64(v, 32));
        // Each below 10^8, scaled by at most 10^6, then added across.
        v = _mm_mul_epu32(v, _mm_set_epi64x(powers[scale - kept], powers[scale]));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(&value), _mm_add_epi64(v, _mm_unpackhi_epi64(v, v)));
        return true;
    }
#endif
    const quint64 units = load8(at);
    const int digits = leadingDigits(units);
    if (digits == 0 || digits == 8) {
        return false;
    }
    value = static_cast<qint64>(digitsValue(units, digits)) * powers[scale];
    const char *fraction = at + digits + 1;
    const std::ptrdiff_t fractionSize = wordEnd - fraction;
    if (fractionSize < 0) {
        return true;
    }
    if (at[digits] != '.' || end - fraction < 8 || fractionSize > 8) {
        return false;
    }
    const quint64 fractionDigits = load8(fraction);
    if (leadingDigits(fractionDigits) < fractionSize) {
        return false;
    }
    const int kept = static_cast<int>(fractionSize < scale ? fractionSize : scale);
    value += kept == 0 ? 0 : static_cast<qint64>(digitsValue(fractionDigits, kept)) * powers[scale - kept];
    return true;
}

// Nibble values, one to a byte, paired: pair n in the low byte of 16-bit lane n.
Q_ALWAYS_INLINE quint64 pairNibbles(quint64 nibbles)
{
    return ((nibbles & 0x00FF00FF00FF00FFULL) << 4 | (nibbles >> 8)) & 0x00FF00FF00FF00FFULL;
}

// Four pairs as pairNibbles() leaves them, gathered into a number, the first the
// most significant: gathered in the reverse order, which spares a byte swap.
Q_ALWAYS_INLINE quint32 pairsValue(quint64 pairs)
{
    pairs = (pairs << 8 | pairs >> 16) & 0x0000FFFF0000FFFFULL;
    return static_cast<quint32>(pairs << 16 | pairs >> 32);
}

// Where the line [line, end) ends without its line end ('\n', "\r\n").
Q_ALWAYS_INLINE const char *withoutLineEnd(const char *line, const char *end)
{
    while (end != line && (end[-1] == '\n' || end[-1] == '\r')) {
        --end;
    }
    return end;
}

// Whether the line [line, end) ends in its first '\n', where every character
// before from is known to be none. What lies between is short, the rest of a
// line: searched 16 at a time backwards from the end, without a call, once
// more over characters before from where that spares a search by character.
Q_ALWAYS_INLINE bool endsAtFirstNewline(const char *line, const char *from, const char *end)
{
    if (end[-1] != '\n') {
        return false;
    }
    const char *last = end - 1;
#if defined(__SSE2__)
    __m128i newlines = _mm_setzero_si128();
    for (; last > from && last - line >= 16; last -= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(last - 16));
        newlines = _mm_or_si128(newlines, _mm_cmpeq_epi8(c, _mm_set1_epi8('\n')));
    }
    if (_mm_movemask_epi8(newlines) != 0) {
        return false;
    }
#else
    static_cast<void>(line);
#endif
    return last <= from || std::memchr(from, '\n', static_cast<std::size_t>(last - from)) == nullptr;
}

// 8 hex digits at at as 4 pairs, pair n in the low byte of 16-bit lane n; false
// if any is not a hex digit.
Q_ALWAYS_INLINE bool hexPairs8(const char *at, quint64 &pairs)
{
    quint64 v = load8(at);
    const quint64 letters = inRange(v & ~(ones * 0x20), 'A', 'F'); // either case
    if ((inRange(v, '0', '9') | letters) != highBits) {
        return false;
    }
    pairs = pairNibbles((v & 0x0F0F0F0F0F0F0F0FULL) + (letters >> 7) * 9);
    return true;
}

// 8 hex digits at at as 4 bytes in the same order, the first pair in the lowest
// byte; false if any is not a hex digit.
Q_ALWAYS_INLINE bool hexBytes8(const char *at, quint32 &bytes)
{
    quint64 v = 0;
    if (!hexPairs8(at, v)) {
        return false;
    }
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFULL;
    bytes = static_cast<quint32>(v | (v >> 16));
    return true;
}

// 8 hex digits at at as a number, the first the most significant (an
// identifier); false if any is not a hex digit.
Q_ALWAYS_INLINE bool hexValue8(const char *at, quint32 &value)
{
    quint64 v = 0;
    if (!hexPairs8(at, v)) {
        return false;
    }
    value = pairsValue(v);
    return true;
}

// 16 hex digits, 8 data bytes: a whole classic frame, the common case.
Q_ALWAYS_INLINE bool hexBytes16(const char *at, quint8 *out)
{
#if defined(__SSE2__)
    __m128i nibbles;
    if (hexNibbles(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), nibbles) != 0xFFFF) {
        return false;
    }
    const __m128i pairs = pairNibbles(nibbles);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(pairs, pairs));
    return true;
#else
    quint32 first = 0;
    quint32 second = 0;
    if (!hexBytes8(at, first) || !hexBytes8(at + 8, second)) {
        return false;
    }
    qToLittleEndian(first, out);
    qToLittleEndian(second, out + 4);
    return true;
#endif
}
}
