#ifndef DIRCLIENT_APPROX_MATCH_H
#define DIRCLIENT_APPROX_MATCH_H

// Approximate matching of directory strings as servers commonly do it: both texts
// reduced to ASCII (accented Latin letters to their base letter, anything else dropped),
// cut into words at each space, each word reduced to its Metaphone key (at most four
// letters); the value matches when the keys of the assertion's words appear among the
// value's, in the same order.

#include <string>
#include <string_view>

namespace dirschema {

// The Metaphone key of the ASCII letters of word up to its first blank or punctuation.
std::string metaphone(std::string_view word);

// value ~= assertion.
bool approxMatch(std::string_view value, std::string_view assertion);

}  // namespace dirschema

#endif
