#ifndef DIRCLIENT_LOCAL_MESSAGE_H
#define DIRCLIENT_LOCAL_MESSAGE_H

#include <string>
#include <utility>
#include <vector>

#include <ldap.h>

// Answers that do not come straight from libldap: copies served by the response cache, and
// libldap messages whose identifier the caller knows under another number (after a fail-over
// or a cache hit). Both are recorded in one process-wide registry so that the message
// accessors can recognise them; while the registry is empty the check costs one atomic load.
//
// A local message is one node of a chain: our own encoded copy of one LDAP message. Callers
// see it as an LDAPMessage* and must release it with our msgfree, never with libldap's.

namespace dirclient::ldapaccess {

struct LocalMessage {
    int msgid = 0;      // identifier the caller knows
    int type = 0;       // LDAP_RES_*
    std::string bytes;  // the whole encoded LDAPMessage
    LocalMessage* next = nullptr;
};

// (type, encoded bytes) of each message of a chain, in order.
using MessageCopies = std::vector<std::pair<int, std::string>>;

// Builds and registers a chain of local messages carrying "msgid"; null for no messages.
LDAPMessage* make_local_chain(int msgid, const MessageCopies& messages);

// The local node behind "message", or null when it belongs to libldap.
LocalMessage* as_local(LDAPMessage* message);

// Releases a local chain from "node" to its end; returns the type of its last node.
int free_local_chain(LocalMessage* node);

// Splits off the first node of a local chain; returns the rest (null when none).
LocalMessage* detach_first(LocalMessage* head);

// Records that the caller knows the libldap message "message" as "caller_id".
void register_translated(LDAPMessage* message, int caller_id);

// The caller's identifier of a translated libldap message; false when it is not one.
bool translated_id(LDAPMessage* message, int* caller_id);

// Drops the translation of a libldap message that is about to be freed.
void forget_translated(LDAPMessage* message);

// Number of registered messages (local nodes and translations); for tests.
size_t registered_message_count();

}  // namespace dirclient::ldapaccess

#endif
