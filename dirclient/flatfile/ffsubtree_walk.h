#ifndef DIRCLIENT_FFSUBTREE_WALK_H
#define DIRCLIENT_FFSUBTREE_WALK_H

// A walk over a subtree of the flat-file store that spans several store operations (for
// example removing a subtree leaf by leaf). It holds the store lock for its lifetime, so
// other store users see the walk in one piece; the lock is recursive, so the operations of
// the walk and nested walks take it again freely.

#include <string>
#include <vector>

class FFSubtreeWalk {
  public:
    FFSubtreeWalk();
    ~FFSubtreeWalk();
    FFSubtreeWalk(const FFSubtreeWalk&) = delete;
    FFSubtreeWalk& operator=(const FFSubtreeWalk&) = delete;

    // The DNs of the children of dn (any case, not yet normalised), in the store's order;
    // empty when dn is not in the store or has no children.
    std::vector<std::string> childrenOf(const char* dn) const;
};

#endif
