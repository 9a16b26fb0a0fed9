#ifndef DIRCLIENT_TEXT_FOLD_H
#define DIRCLIENT_TEXT_FOLD_H

// String preparation for the directory string matching rules (RFC 4518, simplified):
// insignificant blanks removed and, for the case-ignoring rules, letters lower-cased over
// UTF-8 (Latin, Greek, Cyrillic, Armenian and full-width Latin), independent of locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace dirschema {

// The lower-case form of one code point; itself when it has none in the table.
std::uint32_t foldCodePoint(std::uint32_t c);

// Appends text to out with leading and trailing blanks dropped (kept as one space with
// keepEdges, as pieces of substrings need) and each inner run of blanks written as one
// space; with fold, letters lower-cased. Bytes that are not valid UTF-8 are copied
// unchanged.
void prepareText(std::string_view text, bool fold, std::string& out, bool keepEdges = false);

}  // namespace dirschema

#endif
