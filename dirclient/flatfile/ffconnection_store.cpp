// The process-wide flat-file store: its globals and lock, set-up and tear-down, the file
// name and the DN index of the loaded tree.

#include "ffconnection.h"

#include "dlist.h"
#include "ffdn.h"
#include "ffindex.h"
#include "ffstore_file.h"
#include "ffstore_lock.h"
#include "status.h"

#include <cstdlib>
#include <cstring>
#include <vector>

FFNode* FFConnection::m_pRoot = nullptr;
OwnedText FFConnection::m_pFile;
OwnedText FFConnection::m_pHost;
// Recursive: operations built from other operations (rename, the asynchronous forms,
// loading) take it again.
pthread_mutex_t FFConnection::m_Mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_once_t FFConnection::qdxFF_once_block = PTHREAD_ONCE_INIT;
FFIndex* FFConnection::m_pIndex = nullptr;

extern "C" void qdxFF_once_init() {
    FFConnection::init();
}

extern "C" void qdxFF_at_exit() {
    FFConnection::empty();
}

// ---- lifecycle --------------------------------------------------------------------------

FFConnection::FFConnection() {
    pthread_once(&qdxFF_once_block, qdxFF_once_init);
    startTime = std::time(nullptr);
}

FFConnection::FFConnection(const char* file, int p) : FFConnection() {
    port = p;
    setFile(file);
}

FFConnection::~FFConnection() {
    FFStoreLock lock;
    if (modified) writeStore();
    detachFromStore();
    discardResults();
}

void FFConnection::init() {
    std::atexit(qdxFF_at_exit);
}

void FFConnection::lock() {
    pthread_mutex_lock(&m_Mutex);
}

void FFConnection::unlock() {
    pthread_mutex_unlock(&m_Mutex);
}

void FFConnection::unload() {
    FFStoreFile::forget();
    delete m_pRoot;
    m_pRoot = nullptr;
    if (m_pIndex != nullptr) m_pIndex->clear();
}

// The lock stays usable: other threads may still hold connections when this runs at exit.
void FFConnection::empty() {
    FFStoreLock lock;
    m_pFile.reset();
    m_pHost.reset();
    unload();
    delete m_pIndex;
    m_pIndex = nullptr;
}

// ---- the tree and its index -------------------------------------------------------------

FFNode* FFConnection::getRoot() {
    FFStoreLock lock;
    return m_pRoot;
}

bool FFConnection::setRoot(FFNode* root) {
    FFStoreLock lock;
    m_pRoot = root;
    if (m_pIndex == nullptr) m_pIndex = new FFIndex();
    m_pIndex->clear();
    if (root == nullptr) return true;
    std::vector<FFNode*> pending{root};
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        if (node->children == nullptr) continue;
        for (DListItem* item = node->children->getHead(); item != nullptr;
             item = item->getNextItem()) {
            auto* child = static_cast<FFNode*>(item->getValue());
            if (child->hasEntry()) m_pIndex->insert(child, item);
            pending.push_back(child);
        }
    }
    return true;
}

// A node belongs to the store when it is the root or is indexed: a constant-time test,
// where walking up to the root would make building a deep tree quadratic.
FFIndex* FFConnection::indexFor(FFNode* node) {
    if (node == nullptr || m_pIndex == nullptr) return nullptr;
    if (node == m_pRoot) return m_pIndex;
    if (node->hasEntry() && m_pIndex->itemOf(node) != nullptr) return m_pIndex;
    return nullptr;
}

FFNode* FFConnection::parentNode(const char* parentDn) {
    if (m_pRoot == nullptr || parentDn == nullptr) return nullptr;
    if (*parentDn == '\0') return m_pRoot;
    return m_pIndex != nullptr ? m_pIndex->find(parentDn) : nullptr;
}

FFNode* FFConnection::lookup(const char* dn) {
    if (m_pRoot == nullptr || dn == nullptr) return nullptr;
    if (*dn == '\0') return m_pRoot->hasEntry() ? m_pRoot : nullptr;
    return m_pIndex != nullptr ? m_pIndex->find(dn) : nullptr;
}

// ---- host and file ----------------------------------------------------------------------

const char* FFConnection::myGetHost() {
    FFStoreLock lock;
    return m_pHost.get();
}

bool FFConnection::mySetHost(const char* host) {
    FFStoreLock lock;
    m_pHost.reset(strcopy(host));
    return true;
}

const char* FFConnection::getHost() {
    return myGetHost();
}

bool FFConnection::setFile(const char* host) {
    FFStoreLock lock;
    // The loaded tree is written back to the file it came from, never to another one.
    if (m_pRoot != nullptr) return true;
    mySetHost(host);
    char* path = nullptr;
    if (host != nullptr) {
        path = strcopy(ffdn::startsWithNoCase(host, "file:///") ? host + 8 : host);
        if (std::strchr(path, '=') != nullptr) {
            if (char* slash = std::strrchr(path, '/')) *slash = '\0';
        }
    }
    m_pFile.reset(path);
    if (path == nullptr) bound = false;
    return true;
}

void FFConnection::detachFromStore() {
    if (!attached) return;
    FFStoreFile::detach();
    attached = false;
}

void FFConnection::holdFile(bool hold) {
    FFStoreLock lock;
    FFStoreFile::setHold(hold);
}
