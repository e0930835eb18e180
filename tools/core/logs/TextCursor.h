// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "TextWords.h"

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstring>

/// The value of each character as a hex digit, -1 for those that are none.
struct HexValues
{
    constexpr HexValues()
        : digit()
    {
        for (int c = 0; c < 256; ++c) {
            digit[c] = static_cast<signed char>(c >= '0' && c <= '9'       ? c - '0'
                                                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                           : -1);
        }
    }
    signed char digit[256];
};
inline constexpr HexValues hexValues;

/// A position in a line of a text log; every read checks the end first.
class TextCursor
{
public:
    TextCursor(const char *begin, const char *end)
        : at(begin)
        , end(end)
    {
    }

    const char *position() const
    {
        return at;
    }
    std::size_t offsetFrom(const char *begin) const
    {
        return static_cast<std::size_t>(at - begin);
    }
    bool atEnd() const
    {
        return at == end;
    }
    std::size_t left() const
    {
        return static_cast<std::size_t>(end - at);
    }
    void advance(std::size_t count)
    {
        at += count;
    }
    char peek() const
    {
        return at == end ? '\0' : *at;
    }
    bool take(char c)
    {
        if (at == end || *at != c) {
            return false;
        }
        ++at;
        return true;
    }
    // Skips blanks; true when there was at least one. Text logs align their
    // columns with runs of blanks, passed here 8 at a time.
    Q_ALWAYS_INLINE bool skipBlanks()
    {
        using namespace TextWords;
        const char *start = at;
        while (end - at >= 8) {
            const quint64 v = load8(at);
            const int blanks = firstMarked(differs(v, ' ') & differs(v, '\t'));
            at += blanks;
            if (blanks < 8) {
                return at != start;
            }
        }
        while (at != end && (*at == ' ' || *at == '\t')) {
            ++at;
        }
        return at != start;
    }
    // Blanks and the line end only.
    bool onlyBlanksLeft()
    {
        while (at != end && (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n')) {
            ++at;
        }
        return at == end;
    }
    // Reads up to maxDigits decimal digits; the count read, 0 if none.
    Q_ALWAYS_INLINE int decimal(int maxDigits, qint64 &value)
    {
        using namespace TextWords;
        static constexpr qint64 powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        int digits = 0;
        value = 0;
        while (end - at >= 8 && digits < maxDigits) {
            const quint64 v = load8(at);
            const int run = std::min(leadingDigits(v), maxDigits - digits);
            if (run == 0) {
                return digits;
            }
            value = value * powers[run] + static_cast<qint64>(digitsValue(v, run));
            at += run;
            digits += run;
            if (run < 8) {
                return digits;
            }
        }
        while (at != end && *at >= '0' && *at <= '9' && digits < maxDigits) {
            value = value * 10 + (*at - '0');
            ++at;
            ++digits;
        }
        return digits;
    }
    // Reads up to maxDigits (at most 8) hex digits; the count read, 0 if none.
    Q_ALWAYS_INLINE int hex(int maxDigits, quint32 &value)
    {
        using namespace TextWords;
        if (end - at >= 8) {
            quint64 nibbles = 0;
            int digits = 0;
#if defined(__SSE2__)
            if (end - at >= 16) {
                __m128i all;
                const unsigned hex = hexNibbles(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), all);
                // Never more than 8, as the value holds no more.
                digits = std::min(static_cast<int>(qCountTrailingZeroBits(~hex | 0x100u)), maxDigits);
                _mm_storel_epi64(reinterpret_cast<__m128i *>(&nibbles), all);
            } else
#endif
            {
                const quint64 v = load8(at);
                const quint64 letters = inRange(v & ~(ones * 0x20), 'A', 'F'); // either case
                digits = std::min(firstMarked(~(inRange(v, '0', '9') | letters) & highBits), maxDigits);
                nibbles = (v & 0x0F0F0F0F0F0F0F0FULL) + (letters >> 7) * 9;
            }
            value = 0;
            if (digits == 0) {
                return 0;
            }
            // The digits' values moved up so that zeros lead, then paired into bytes
            // and the pairs gathered, the first the most significant.
            value = pairsValue(pairNibbles(nibbles << (8 * (8 - digits))));
            at += digits;
            return digits;
        }
        int digits = 0;
        value = 0;
        int nibble = 0;
        while (digits < maxDigits && (nibble = hexDigit(peek())) >= 0) {
            value = (value << 4) | static_cast<quint32>(nibble);
            ++at;
            ++digits;
        }
        return digits;
    }
    // Digits in base 16 or 10, up to maxDigits; the count read, 0 if none.
    Q_ALWAYS_INLINE int number(int base, int maxDigits, quint32 &value)
    {
        if (base == 16) {
            return hex(maxDigits, value);
        }
        qint64 decimalValue = 0;
        const int digits = decimal(maxDigits, decimalValue);
        value = static_cast<quint32>(decimalValue);
        return digits;
    }
    // "units[.fraction]" in units of 10^-scale (scale 6: seconds as microseconds),
    // the fraction cut to scale digits; false without digits before the point.
    Q_ALWAYS_INLINE bool fixedPoint(int scale, qint64 &value)
    {
        qint64 fraction = 0;
        if (decimal(12, value) == 0) {
            return false;
        }
        int fractionDigits = take('.') ? decimal(scale, fraction) : 0;
        while (at != end && *at >= '0' && *at <= '9') {
            ++at;
        }
        for (; fractionDigits < scale; ++fractionDigits) {
            fraction *= 10;
        }
        for (int i = 0; i < scale; ++i) {
            value *= 10;
        }
        value += fraction;
        return true;
    }
    // A run of characters up to the next blank or line end; its length.
    Q_ALWAYS_INLINE int word()
    {
        using namespace TextWords;
        const char *start = at;
        // Words end at a character below '!', mostly a blank; the rare other
        // control characters are passed over one by one.
        while (end - at >= 8) {
            const int run = firstMarked(below(load8(at), '!'));
            at += run;
            if (run < 8) {
                if (endsWord(*at)) {
                    return static_cast<int>(at - start);
                }
                ++at;
            }
        }
        while (at != end && !endsWord(*at)) {
            ++at;
        }
        return static_cast<int>(at - start);
    }
    bool takeWord(const char *expected)
    {
        const std::size_t n = std::strlen(expected);
        if (static_cast<std::size_t>(end - at) < n || std::memcmp(at, expected, n) != 0) {
            return false;
        }
        at += n;
        return true;
    }
    // The word that follows blanks, if it is the one expected (a whole word).
    bool takeWordAlone(const char *expected)
    {
        TextCursor ahead = *this;
        ahead.skipBlanks();
        const char *start = ahead.at;
        const std::size_t n = static_cast<std::size_t>(ahead.word());
        if (n != std::strlen(expected) || std::memcmp(start, expected, n) != 0) {
            return false;
        }
        *this = ahead;
        return true;
    }

    // Bytes of one or two hex digits each, blanks before each, a blank or the
    // line end after each; false when fewer than count come.
    Q_ALWAYS_INLINE bool hexBytes(int count, quint8 *out)
    {
        skipBlanks();
        if (count == 8 && hexBytesSpaced8(out)) {
            return true;
        }
        for (int i = 0; i < count; ++i) {
            skipBlanks();
            const int high = at == end ? -1 : hexDigit(at[0]);
            const int low = end - at < 2 ? -1 : hexDigit(at[1]);
            if (high < 0) {
                return false;
            }
            out[i] = static_cast<quint8>(low < 0 ? high : high << 4 | low);
            at += low < 0 ? 1 : 2;
            if (at != end && static_cast<unsigned char>(*at) > ' ') {
                return false;
            }
        }
        return true;
    }

    // "XX XX XX XX XX XX XX XX" and a blank or line end, the common case of
    // hexBytes(), read at once; false, having read nothing, for anything else.
    Q_ALWAYS_INLINE bool hexBytesSpaced8(quint8 *out)
    {
        using namespace TextWords;
#if defined(__SSE2__)
        if (end - at < 24 || static_cast<unsigned char>(at[23]) > ' ') {
            return false;
        }
        // Characters 0 to 15, and 8 to 23: pair n starts at 3n, in the first
        // for n below 5, in the second (8 further on) for the rest.
        unsigned hex = 0;
        unsigned blanks = 0;
        const __m128i pairs[2] = {spacedPairs(at, 0, hex, blanks), spacedPairs(at + 8, 8, hex, blanks)};
        // Two digits, a blank, seven times, and two digits.
        if ((hex & 0x7FFFFF) != 0x6DB6DB || (blanks & 0x7FFFFF) != 0x124924) {
            return false;
        }
        // Pair n is byte 3n of the first, or byte 3n - 8 of the second: by
        // 16-bit lanes, pairs 0 and 2 the low bytes of lanes 0 and 3 of the
        // first, pairs 4 and 6 of lanes 2 and 5 of the second, the pair after
        // each the high byte of the lane after. Those bytes kept, and each lane
        // after moved onto the one before, give two bytes of data in each of
        // the four lanes.
        const auto lanePairs = [](__m128i pairs, __m128i kept) {
            const __m128i bytes = _mm_and_si128(pairs, kept);
            return _mm_or_si128(bytes, _mm_srli_si128(bytes, 2));
        };
        const __m128i first = lanePairs(pairs[0], _mm_setr_epi16(0xFF, -256, 0, 0xFF, -256, 0, 0, 0));
        const __m128i second = lanePairs(pairs[1], _mm_setr_epi16(0, 0, 0xFF, -256, 0, 0xFF, -256, 0));
        const auto lane = [](int twoBytes, int n) {
            return static_cast<quint64>(static_cast<quint16>(twoBytes)) << (16 * n);
        };
        qToLittleEndian(lane(_mm_extract_epi16(first, 0), 0) | lane(_mm_extract_epi16(first, 3), 1)
                            | lane(_mm_extract_epi16(second, 2), 2) | lane(_mm_extract_epi16(second, 5), 3),
                        out);
        at += 23;
        return true;
#else
        static_cast<void>(out);
        return false;
#endif
    }

#if defined(__SSE2__)
    // 16 characters from part, for hexBytesSpaced8(): which are hex digits and
    // which blanks, shifted into hex and blanks, and each paired as the first
    // digit of a pair with the next as its second (values of at most 15
    // shifted by 4 stay within their byte).
    static Q_ALWAYS_INLINE __m128i spacedPairs(const char *part, int shift, unsigned &hex, unsigned &blanks)
    {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(part));
        __m128i nibbles;
        hex |= TextWords::hexNibbles(c, nibbles) << shift;
        blanks |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_set1_epi8(' ')))) << shift;
        return _mm_or_si128(_mm_slli_epi16(nibbles, 4), _mm_srli_si128(nibbles, 1));
    }
#endif

    static bool endsWord(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    static int hexDigit(char c)
    {
        return hexValues.digit[static_cast<unsigned char>(c)];
    }

private:
    const char *at;
    const char *end;
};
