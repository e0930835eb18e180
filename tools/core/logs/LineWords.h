// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtAlgorithms>

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

/**
 * Where the first words of a line of a text log begin, found in one pass over
 * its characters, 16 at a time: a reader of columns goes straight to the ones
 * it needs and passes over the others without reading them.
 *
 * Words are separated by blanks and tabs. A line with any other control
 * character among them is left to the reader's character-by-character path,
 * which decides what such a character means.
 */
class LineWords
{
public:
    static constexpr int maxWords = 24;

    /// Finds where the first wanted words (at most maxWords) of [begin, end)
    /// begin, and where all but the last of them end; end lies before the line
    /// end. The number found, fewer when the line has fewer; -1 for a control
    /// character other than a tab among them.
    Q_ALWAYS_INLINE int find(const char *begin, const char *end, int wanted)
    {
        line = begin;
#if defined(__SSE2__)
        // Logs written in aligned columns give most lines the shape of a line
        // before: the same blanks, so the same words. Two shapes are kept, as
        // many logs alternate between two widths of identifier. The shape of the
        // line before comes first.
        if (shape->words == wanted && shape->fits(begin, end)) {
            return wanted;
        }
        const Shape *other = shape == &shapes[0] ? &shapes[1] : &shapes[0];
        if (other->words == wanted && other->fits(begin, end)) {
            shape = other;
            return wanted;
        }
        Shape &found = shapes[replaced];
        replaced ^= 1;
        shape = &found;
        return found.take(begin, end, wanted);
#else
        static_cast<void>(end);
        static_cast<void>(wanted);
        return -1;
#endif
    }

    /// Where word i (less than the number found) begins.
    const char *start(int i) const
    {
        return line + shape->starts[i];
    }
    /// Where word i (less than the number found less one) ends.
    const char *end(int i) const
    {
        return line + shape->ends[i];
    }

private:
    static constexpr unsigned badLine = ~0u;
    static constexpr int maxChunks = 8;

    /// Where the words of a line lie, and the blanks that put them there.
    struct Shape
    {
#if defined(__SSE2__)
        // Whether [begin, end) has these blanks. A line that covers every chunk,
        // nearly every line, is read in whole chunks: where its characters up to
        // ' ' lie, against the blanks of each, and whether any of them is other
        // than ' ', gathered and tested once. Only a line with a tab or a
        // control character among them is read again, for the exact test.
        bool fits(const char *begin, const char *end) const
        {
            if (end - begin >= 16 * chunks) {
                const __m128i blank = _mm_set1_epi8(' ');
                __m128i others = _mm_setzero_si128();
                for (int chunk = 0; chunk < chunks; ++chunk) {
                    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin + 16 * chunk));
                    const __m128i upToBlank = _mm_cmpeq_epi8(_mm_max_epu8(c, blank), blank);
                    others = _mm_or_si128(others, _mm_andnot_si128(_mm_cmpeq_epi8(c, blank), upToBlank));
                    if (static_cast<unsigned>(_mm_movemask_epi8(upToBlank)) != blanks[chunk]) {
                        return false;
                    }
                }
                if (_mm_movemask_epi8(others) == 0) {
                    return true;
                }
            }
            for (int chunk = 0; chunk < chunks; ++chunk) {
                if (blanksOf(begin + 16 * chunk, end) != blanks[chunk]) {
                    return false;
                }
            }
            return true;
        }

        // Finds the words as find() does, and keeps the blanks of a line whose
        // wanted words all came within maxChunks.
        int take(const char *begin, const char *end, int wanted)
        {
            words = 0;
            int found = 0;
            int ended = 0;
            int chunk = 0;
            unsigned blankBefore = 1;
            for (const char *at = begin; at < end && found < wanted; at += 16, ++chunk) {
                const unsigned blanks = blanksOf(at, end);
                if (blanks == badLine) {
                    return -1;
                }
                if (chunk < maxChunks) {
                    this->blanks[chunk] = blanks;
                }
                const unsigned blankBehind = (blanks << 1 | blankBefore) & 0xFFFF;
                const unsigned wordStarts = ~blanks & blankBehind & 0xFFFF;
                const unsigned wordEnds = blanks & ~blankBehind;
                blankBefore = blanks >> 15;
                // Starts and ends alternate along the line: taken in its order.
                for (unsigned events = wordStarts | wordEnds; events != 0 && found < wanted; events &= events - 1) {
                    const auto offset = static_cast<quint16>(at - begin + qCountTrailingZeroBits(events));
                    if (wordStarts & events & (0u - events)) {
                        starts[found++] = offset;
                    } else {
                        ends[ended++] = offset;
                    }
                }
            }
            if (found == wanted && chunk <= maxChunks) {
                words = wanted;
                chunks = chunk;
            }
            return found;
        }
#endif

        unsigned blanks[maxChunks] = {};
        int chunks = 0;
        /// How many words a line of these blanks has; 0 for a shape not to reuse.
        int words = 0;
        quint16 starts[maxWords] = {};
        quint16 ends[maxWords] = {};
    };

#if defined(__SSE2__)
    // The characters below ' '.
    static __m128i controlsOf(__m128i c)
    {
        return _mm_cmpeq_epi8(_mm_max_epu8(c, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F));
    }

    // Bit n set: character n from at is a blank or a tab, or lies at or past end;
    // badLine for another control character.
    static unsigned blanksOf(const char *at, const char *end)
    {
        __m128i c;
        if (at >= end) {
            return 0xFFFF;
        }
        if (end - at >= 16) {
            c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        } else {
            alignas(16) char tail[16];
            std::memset(tail, ' ', sizeof(tail));
            std::memcpy(tail, at, static_cast<std::size_t>(end - at));
            c = _mm_load_si128(reinterpret_cast<const __m128i *>(tail));
        }
        const __m128i tabs = _mm_cmpeq_epi8(c, _mm_set1_epi8('\t'));
        const __m128i blanks = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(' ')), tabs);
        if (_mm_movemask_epi8(_mm_andnot_si128(tabs, controlsOf(c))) != 0) {
            return badLine;
        }
        return static_cast<unsigned>(_mm_movemask_epi8(blanks));
    }
#endif

    const char *line = nullptr;
    Shape shapes[2];
    const Shape *shape = &shapes[0];
    int replaced = 0;
};
