#include "CaseBlindUtf8.h"

#include "TextFormat.h"
#include "UnicodeCase.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

namespace engine {

namespace {

bool isHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Returns how often a byte turns up in UTF-8 text: a lead byte starts every character of its
// script, while continuation bytes spread over 64 values.
int utf8Commonness(unsigned char b)
{
    if (b < 0x80)
        return commonness(b);
    return b < 0xC0 ? 5 : 15;
}

uint32_t lowBytes(size_t length)
{
    return length >= 4 ? UINT32_MAX : (uint32_t(1) << (8 * length)) - 1;
}

// Returns up to four bytes from p as a number, the first byte lowest.
uint32_t wordAt(const unsigned char *p, size_t length)
{
    uint32_t word = 0;
    for (size_t k = 0; k < length; ++k)
        word |= uint32_t(p[k]) << (8 * k);
    return word;
}

} // namespace

CaseBlindUtf8::CaseBlindUtf8(std::u16string_view lowered)
{
    for (size_t i = 0; i < lowered.size(); ++i) {
        // A character above U+FFFF has one form: each of its units lowers to itself.
        std::u16string units;
        if (isHighSurrogate(lowered[i]) && i + 1 < lowered.size() &&
            isLowSurrogate(lowered[i + 1])) {
            units.assign(lowered.substr(i++, 2));
        } else {
            units = unitsLoweringAlike(lowered[i]);
        }
        Forms forms;
        const bool pair = units.size() == 2 && isHighSurrogate(units[0]);
        for (size_t f = 0; f < (pair ? 1 : units.size()); ++f) {
            const std::optional<std::string> bytes =
                encodeUtf8(pair ? std::u16string_view(units) : std::u16string_view(&units[f], 1));
            if (!bytes || forms.count == forms.bytes.size())
                throw std::invalid_argument("search text without UTF-8 forms");
            const auto *b = reinterpret_cast<const unsigned char *>(bytes->data());
            forms.bytes[forms.count] = wordAt(b, bytes->size());
            forms.lengths[forms.count++] = bytes->size();
            forms.shortest = std::min(forms.shortest, bytes->size());
            forms.longest = std::max(forms.longest, bytes->size());
        }
        m_chars.push_back(forms);
    }
    chooseFilter();
}

unsigned char CaseBlindUtf8::Forms::byteOf(size_t f, size_t k, bool fromEnd) const
{
    const size_t at = fromEnd ? lengths[f] - 1 - k : k;
    return static_cast<unsigned char>(bytes[f] >> (8 * at));
}

size_t CaseBlindUtf8::Forms::startingAt(const unsigned char *p, size_t avail) const
{
    const uint32_t word = wordAt(p, std::min(avail, longest));
    for (size_t f = 0; f < count; ++f) {
        if (lengths[f] <= avail && (word & lowBytes(lengths[f])) == bytes[f])
            return lengths[f];
    }
    return 0;
}

size_t CaseBlindUtf8::Forms::endingAt(const unsigned char *p, size_t avail) const
{
    for (size_t f = 0; f < count; ++f) {
        if (lengths[f] <= avail && wordAt(p - lengths[f], lengths[f]) == bytes[f])
            return lengths[f];
    }
    return 0;
}

CaseBlindUtf8::Place CaseBlindUtf8::placeOf(ptrdiff_t offset, const Forms &forms, size_t k,
                                            bool fromEnd) const
{
    Place place;
    place.offset = offset;
    for (size_t f = 0; f < forms.count; ++f) {
        const unsigned char b = forms.byteOf(f, k, fromEnd);
        const auto end = place.values.begin() + ptrdiff_t(place.count);
        if (std::find(place.values.begin(), end, b) == end)
            place.values[place.count++] = b;
        place.cost = std::max(place.cost, utf8Commonness(b));
    }
    // A third value costs the filter a comparison more and lets more candidates through.
    if (place.count > 2)
        place.cost += 1000;
    return place;
}

// The bytes at fixed distances from an anchor: those of the characters next to it whose forms
// all have one length, and the nearest byte of the first character on each side whose forms
// do not.
std::vector<CaseBlindUtf8::Place> CaseBlindUtf8::placesAround(size_t anchor) const
{
    std::vector<Place> places;
    ptrdiff_t offset = 0;
    for (size_t c = anchor; c < m_chars.size(); ++c) {
        const Forms &forms = m_chars[c];
        if (forms.shortest != forms.longest) {
            places.push_back(placeOf(offset, forms, 0, false));
            break;
        }
        for (size_t k = 0; k < forms.shortest; ++k)
            places.push_back(placeOf(offset + ptrdiff_t(k), forms, k, false));
        offset += ptrdiff_t(forms.shortest);
    }
    offset = 0;
    for (size_t c = anchor; c-- > 0;) {
        const Forms &forms = m_chars[c];
        if (forms.shortest != forms.longest) {
            places.push_back(placeOf(offset - 1, forms, 0, true));
            break;
        }
        for (size_t k = 0; k < forms.shortest; ++k)
            places.push_back(placeOf(offset - 1 - ptrdiff_t(k), forms, k, true));
        offset -= ptrdiff_t(forms.shortest);
    }
    return places;
}

// Takes the anchor whose two rarest bytes are the rarest pair.
void CaseBlindUtf8::chooseFilter()
{
    int best = INT_MAX;
    for (size_t anchor = 0; anchor <= m_chars.size(); ++anchor) {
        std::vector<Place> places = placesAround(anchor);
        if (places.empty())
            continue;
        std::stable_sort(places.begin(), places.end(),
                         [](const Place &a, const Place &b) { return a.cost < b.cost; });
        const Place &first = places[0];
        const Place &second = places.size() > 1 ? places[1] : places[0];
        if (first.cost + second.cost >= best)
            continue;
        best = first.cost + second.cost;
        m_anchor = anchor;
        m_filter.width = std::max(first.count, second.count) > 2 ? 3 : 2;
        const Place *chosen[2] = {&first, &second};
        for (size_t p = 0; p < 2; ++p) {
            ByteFilter::Probe &probe = m_filter.probes[p];
            probe.offset = chosen[p]->offset;
            for (size_t k = 0; k < probe.values.size(); ++k)
                probe.values[k] = chosen[p]->values[k < chosen[p]->count ? k : 0];
        }
    }
    m_shortestBefore = m_shortestAfter = 0;
    for (size_t c = 0; c < m_chars.size(); ++c)
        (c < m_anchor ? m_shortestBefore : m_shortestAfter) += m_chars[c].shortest;
}

bool CaseBlindUtf8::matchBefore(const unsigned char *d, size_t floor, size_t at,
                                size_t &start) const
{
    size_t pos = at;
    for (size_t c = m_anchor; c-- > 0;) {
        const size_t length = m_chars[c].endingAt(d + pos, pos - floor);
        if (length == 0)
            return false;
        pos -= length;
    }
    start = pos;
    return true;
}

bool CaseBlindUtf8::matchAfter(const unsigned char *d, size_t at, size_t n, size_t &end) const
{
    size_t pos = at;
    for (size_t c = m_anchor; c < m_chars.size(); ++c) {
        const size_t length = m_chars[c].startingAt(d + pos, n - pos);
        if (length == 0)
            return false;
        pos += length;
    }
    end = pos;
    return true;
}

} // namespace engine
