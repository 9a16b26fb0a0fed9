#include "ffsubtree_walk.h"

#include "dlist.h"
#include "dn_normalize.h"
#include "ffconnection.h"
#include "ffnode.h"
#include "object_memory.h"

FFSubtreeWalk::FFSubtreeWalk() {
    FFConnection::lock();
}

FFSubtreeWalk::~FFSubtreeWalk() {
    FFConnection::unlock();
}

std::vector<std::string> FFSubtreeWalk::childrenOf(const char* dn) const {
    std::vector<std::string> dns;
    FFNode* root = FFConnection::getRoot();
    char* normalized = dn_normalize(dn);
    FFNode* node = root != nullptr && normalized != nullptr ? root->findNode(normalized) : nullptr;
    check_free(normalized);
    DList* children = node != nullptr ? node->getChildren() : nullptr;
    for (DListItem* item = children != nullptr ? children->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        auto* child = static_cast<FFNode*>(item->getValue());
        if (child != nullptr && child->getDN() != nullptr) dns.emplace_back(child->getDN());
    }
    return dns;
}
