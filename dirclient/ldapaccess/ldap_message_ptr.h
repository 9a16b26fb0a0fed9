#ifndef DIRCLIENT_LDAP_MESSAGE_PTR_H
#define DIRCLIENT_LDAP_MESSAGE_PTR_H

// Owning holders for LDAP answers. Each releases its message the way it was obtained: a
// message straight from libldap with ldap_msgfree, one of the access layer (a libldap chain
// or a cached copy) with message::msgfree, one handed out by a directory handle with the
// measured qdx_ldap_msgfree.

#include <ldap.h>

#include <memory>

#include "ldap_memory_calls.h"
#include "message_access.h"

namespace dirclient::ldapaccess {

template <int (*Release)(LDAPMessage*)>
struct MessageRelease {
    void operator()(LDAPMessage* message) const { Release(message); }
};

using LdapMessagePtr = std::unique_ptr<LDAPMessage, MessageRelease<ldap_msgfree>>;
using MessagePtr = std::unique_ptr<LDAPMessage, MessageRelease<message::msgfree>>;
using HandleMessagePtr = std::unique_ptr<LDAPMessage, MessageRelease<qdx_ldap_msgfree>>;

// Lets a call that fills an LDAPMessage** hand the message to a holder: the holder takes
// it when the full expression ends, whatever the call returned.
template <typename Holder>
class MessageOut {
  public:
    explicit MessageOut(Holder& holder) : holder_(holder) {}
    ~MessageOut() { holder_.reset(message_); }
    MessageOut(const MessageOut&) = delete;
    MessageOut& operator=(const MessageOut&) = delete;
    operator LDAPMessage**() { return &message_; }

  private:
    Holder& holder_;
    LDAPMessage* message_ = nullptr;
};

template <typename Holder>
MessageOut<Holder> out_message(Holder& holder) {
    return MessageOut<Holder>(holder);
}

}  // namespace dirclient::ldapaccess

#endif
