#ifndef DIRCLIENT_MATCHING_CORPUS_H
#define DIRCLIENT_MATCHING_CORPUS_H

// Generated directory data and search filters for comparing the flat file's LDAP
// matching with a server: people with multi-valued, language-tagged, UTF-8, DN-valued,
// integer, telephone and binary attributes, groups, roles and devices under one base,
// and filters of every kind drawn from the values the data holds. The same seed gives
// the same corpus.

#include <string>
#include <vector>

namespace dirclient::test {

struct MatchingCorpus {
    std::string base;                  // every entry lies below (or is) this DN
    std::string ldif;                  // the entries, parents first (RFC 2849)
    std::vector<std::string> filters;  // RFC 4515 texts
};

// people: how many person entries; the filter count grows with it.
MatchingCorpus make_matching_corpus(unsigned seed, int people, const std::string& suffix);

}  // namespace dirclient::test

#endif
