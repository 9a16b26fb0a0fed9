#ifndef DIRCLIENT_FFSTORE_LOCK_H
#define DIRCLIENT_FFSTORE_LOCK_H

// Holds the flat-file store lock for one scope (internal).

#include "ffconnection.h"

class FFStoreLock {
  public:
    FFStoreLock() { FFConnection::lock(); }
    ~FFStoreLock() { FFConnection::unlock(); }
    FFStoreLock(const FFStoreLock&) = delete;
    FFStoreLock& operator=(const FFStoreLock&) = delete;
};

#endif
