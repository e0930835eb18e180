// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstring>

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
    // Skips blanks; true when there was at least one.
    bool skipBlanks()
    {
        const char *start = at;
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
    int decimal(int maxDigits, qint64 &value)
    {
        int digits = 0;
        value = 0;
        while (at != end && *at >= '0' && *at <= '9' && digits < maxDigits) {
            value = value * 10 + (*at - '0');
            ++at;
            ++digits;
        }
        return digits;
    }
    // Reads up to maxDigits hex digits; the count read, 0 if none.
    int hex(int maxDigits, quint32 &value)
    {
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
    int number(int base, int maxDigits, quint32 &value)
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
    bool fixedPoint(int scale, qint64 &value)
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
    int word()
    {
        const char *start = at;
        while (at != end && *at != ' ' && *at != '\t' && *at != '\r' && *at != '\n') {
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

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    }

private:
    const char *at;
    const char *end;
};
