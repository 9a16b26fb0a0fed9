#ifndef DIRCLIENT_LDAP_MESSAGE_CODEC_H
#define DIRCLIENT_LDAP_MESSAGE_CODEC_H

#include <memory>
#include <optional>
#include <string>

#include <lber.h>
#include <ldap.h>

// BER forms of the LDAP messages the response cache keeps (RFC 4511 section 4): search and
// compare requests are encoded from their arguments, answers are re-encoded from libldap's
// messages through its public accessors. The message identifier inside the bytes is never
// relied upon: cached copies carry their own.

namespace dirclient::ldapaccess {

struct BerFree {
    void operator()(BerElement* ber) const { ber_free(ber, 1); }
};
using BerPtr = std::unique_ptr<BerElement, BerFree>;

// A reader over bytes it does not own (see open_reader).
struct ReaderFree {
    void operator()(BerElement* ber) const { ber_free(ber, 0); }
};
using ReaderPtr = std::unique_ptr<BerElement, ReaderFree>;

struct EncodedRequest {
    std::string bytes;       // the whole LDAPMessage, message identifier 0
    size_t body_offset = 0;  // where the bytes after the message identifier start
    std::string dn;          // base of a search, target of a compare
};

// A search request as it would be sent on "ld" (its size limit, time limit and alias
// dereferencing included). Nothing when the filter is not valid filter text.
std::optional<EncodedRequest> encode_search_request(LDAP* ld, const char* base, int scope,
                                                    const char* filter, char** attrs,
                                                    int attrsonly);

std::optional<EncodedRequest> encode_compare_request(const char* dn, const char* attr,
                                                     const char* value);

struct EncodedResponse {
    int type = 0;       // LDAP_RES_SEARCH_ENTRY, LDAP_RES_SEARCH_RESULT, LDAP_RES_COMPARE
    std::string bytes;  // the whole LDAPMessage
    int code = 0;       // result code of a final answer
    std::string dn;     // DN of a search entry
};

// One message of libldap (not a chain) in BER; nothing for other types or on a decoding
// failure.
std::optional<EncodedResponse> encode_response(LDAP* ld, LDAPMessage* message);

// A reader over our own encoded bytes, which must outlive it; release it with
// ber_free(reader, 0) (ReaderPtr). Only reads that copy are used:
// liblber writes terminators into the buffer when it parses strings in place.
BerElement* open_reader(const std::string& bytes);

struct ResultFields {
    int code = LDAP_OTHER;
    std::string matched;
    std::string text;
};

// The result fields of an encoded final answer (search result, compare result).
std::optional<ResultFields> read_result(const std::string& bytes);

// Positions a reader opened on an encoded search entry at its first attribute; the DN is
// copied to "dn" when it is not null (allocated with ber_memalloc).
bool skip_to_attributes(BerElement* reader, char** dn);

}  // namespace dirclient::ldapaccess

#endif
