#ifndef DIRCLIENT_MESSAGE_ACCESS_H
#define DIRCLIENT_MESSAGE_ACCESS_H

#include <ldap.h>

// The message accessors of the LDAP access layer. Each recognises our own local messages
// (cached copies) and serves them itself; every other message goes to libldap unchanged.
// Strings, value arrays and BerElements handed out are released exactly as libldap's are
// (ldap_memfree, ldap_value_free_len, ldap_value_free, ber_free(ber, 0)). Result codes are
// classic numbers.

namespace dirclient::ldapaccess::message {

// Frees a chain (local or libldap); returns the type of its last message, as libldap's
// ldap_msgfree does, 0 for null.
int msgfree(LDAPMessage* chain);

int msgtype(LDAPMessage* message);

// The identifier the caller knows the message under.
int msgid(LDAPMessage* message);

LDAPMessage* first_entry(LDAP* ld, LDAPMessage* chain);
LDAPMessage* next_entry(LDAP* ld, LDAPMessage* entry);
int count_entries(LDAP* ld, LDAPMessage* chain);
char* get_dn(LDAP* ld, LDAPMessage* entry);
char* first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ber);
char* next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ber);
struct berval** get_values_len(LDAP* ld, LDAPMessage* entry, const char* attr);
char** get_values(LDAP* ld, LDAPMessage* entry, const char* attr);

// The result code of the final message of "chain", recorded as the session's error on "ld"
// (which may be null); "freeit" frees the chain.
int result2error(LDAP* ld, LDAPMessage* chain, int freeit);

// Sorts the entries of a chain by the values of "attr" (by DN when null) with "cmp".
int sort_entries(LDAP* ld, LDAPMessage** chain, const char* attr,
                 int (*cmp)(const char*, const char*));

LDAPMessage* delete_result_entry(LDAPMessage** list, LDAPMessage* entry);
void add_result_entry(LDAPMessage** list, LDAPMessage* entry);

}  // namespace dirclient::ldapaccess::message

#endif
