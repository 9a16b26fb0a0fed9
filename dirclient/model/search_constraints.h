#ifndef DIRCLIENT_SEARCH_CONSTRAINTS_H
#define DIRCLIENT_SEARCH_CONSTRAINTS_H

#include "dirclient_export.h"

// The limits of a search: a time limit in seconds and a maximum number of entries, 0 for
// none. Values are kept as given. Allocated with the ordinary new.
class SearchConstraints {
  public:
    SearchConstraints() = default;
    DIRCLIENT_API SearchConstraints(int timeLimit, int maxResults)
        : timeLimit_(timeLimit), maxResults_(maxResults) {}

    int getTimeLimit() const { return timeLimit_; }
    bool setTimeLimit(int timeLimit) {
        timeLimit_ = timeLimit;
        return true;
    }
    int getMaxResults() const { return maxResults_; }
    bool setMaxResults(int maxResults) {
        maxResults_ = maxResults;
        return true;
    }

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    int timeLimit_ = 0;
    int maxResults_ = 0;
};

#endif
