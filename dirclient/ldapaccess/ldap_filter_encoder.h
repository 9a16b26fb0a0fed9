#ifndef DIRCLIENT_LDAP_FILTER_ENCODER_H
#define DIRCLIENT_LDAP_FILTER_ENCODER_H

#include <string_view>

#include <lber.h>

namespace dirclient::ldapaccess {

// Appends the BER form of a search filter (RFC 4511 section 4.5.1) given in its text form
// (RFC 4515) to "ber". A filter without outer parentheses ("objectclass=*") is read as if it
// had them, as the classic client calls accept it. Returns false, leaving "ber" in an
// unspecified state, when the text is not a filter.
bool encode_filter(BerElement* ber, std::string_view filter);

}  // namespace dirclient::ldapaccess

#endif
