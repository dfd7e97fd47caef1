#pragma once

#include <copyrules/rbx_copy_rules_export.h>

#include <QString>

#include <optional>

namespace rbx {

// Left-pads a decimal number with zeros to the width. A number wider than the width raises
// EConvertError: cutting it would store a wrong sequence.
RBX_COPY_RULES_EXPORT QString Ajusta(const QString &decimal, int width);

// What a copied service and its items take from the origin, the destination and the sequences
// already taken there, whichever side makes the copy.
namespace CopyRules {

// The sequence after `current` (a decimal number, padded or not), at `width` digits: a service's
// NRSEQUSERV, an item's CDSEQUCOPR. Raises EConvertError when `current` is no non-negative
// decimal integer or the next number no longer fits.
RBX_COPY_RULES_EXPORT QString nextSequence(const QString &current, int width);

// The sequence before the first of a column, at its width: what a service's first item follows.
RBX_COPY_RULES_EXPORT QString beforeFirstSequence(int width);

// An item's consumption date at the destination: the same distance from its service's day, the
// time of day included, computed in extended precision and rounded once. None stays none (0,
// as the calls carry it): moving it would invent a day in December 1899.
RBX_COPY_RULES_EXPORT double movedConsumption(std::optional<double> consumption, double origin, double destination);

// The weight as the classic calls carry it, in a text of 15 significant digits.
RBX_COPY_RULES_EXPORT double carriedWeight(double weight);

// A date the calls carry as a number: 0 is none.
inline std::optional<double> carriedDate(double value)
{
    return value == 0 ? std::nullopt : std::optional<double>(value);
}

} // namespace CopyRules

} // namespace rbx
