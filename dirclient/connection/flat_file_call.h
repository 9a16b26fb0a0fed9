#ifndef DIRCLIENT_FLAT_FILE_CALL_H
#define DIRCLIENT_FLAT_FILE_CALL_H

// Internal: the choice between the LDAP path and the flat-file path of a DConnection
// operation. A flat-file handle's operations go to its FFConnection under the connection's
// lock, so that a concurrent disconnect cannot free the FFConnection in mid-call; the test
// itself reads the handle without the lock, which the LDAP path never pays for.

#include <mutex>

#include "dconnection.h"
#include "directory_handle.h"
#include "ffconnection.h"

class DConnection::FlatFileCall {
  public:
    explicit FlatFileCall(DConnection& connection) {
        if (!isFlatFile(connection.m_pLdap.load(std::memory_order_acquire))) return;
        lock_ = std::unique_lock<std::mutex>(connection.m_lock);
        DS_LDAP* handle = connection.m_pLdap.load(std::memory_order_relaxed);
        if (isFlatFile(handle))
            flatFile_ = static_cast<FFConnection*>(handle->session);
        else
            lock_.unlock();
    }
    FlatFileCall(const FlatFileCall&) = delete;
    FlatFileCall& operator=(const FlatFileCall&) = delete;

    explicit operator bool() const { return flatFile_ != nullptr; }
    FFConnection* operator->() const { return flatFile_; }
    FFConnection* get() const { return flatFile_; }

  private:
    static bool isFlatFile(DS_LDAP* handle) {
        return handle != nullptr && handle->kind == QDX_LDAP_FLAT_FILE &&
               handle->session != nullptr;
    }

    std::unique_lock<std::mutex> lock_;
    FFConnection* flatFile_ = nullptr;
};

#endif
