#include "ldap_message_codec.h"

#include "ldap_filter_encoder.h"

namespace dirclient::ldapaccess {

namespace {

std::optional<std::string> flatten(BerElement* ber) {
    berval flat{};
    if (ber_flatten2(ber, &flat, 0) == -1) return std::nullopt;
    return std::string(flat.bv_val, flat.bv_len);
}

// Offset of the bytes after the outer tag, length and message identifier.
std::optional<size_t> body_offset(const std::string& bytes) {
    ReaderPtr reader(open_reader(bytes));
    if (!reader) return std::nullopt;
    ber_len_t len = 0;
    if (ber_skip_tag(reader.get(), &len) == LBER_DEFAULT) return std::nullopt;
    berval id{};
    if (ber_skip_element(reader.get(), &id) == LBER_DEFAULT) return std::nullopt;
    return static_cast<size_t>(id.bv_val + id.bv_len - bytes.data());
}

int int_option(LDAP* ld, int option) {
    int value = 0;
    if (ld != nullptr) ldap_get_option(ld, option, &value);
    return value;
}

std::optional<EncodedRequest> finish(BerElement* ber, const char* dn) {
    std::optional<std::string> bytes = flatten(ber);
    if (!bytes) return std::nullopt;
    std::optional<size_t> offset = body_offset(*bytes);
    if (!offset) return std::nullopt;
    return EncodedRequest{std::move(*bytes), *offset, dn ? dn : ""};
}

std::optional<EncodedResponse> encode_entry(LDAP* ld, LDAPMessage* message, int msgid) {
    BerElement* walker = nullptr;
    berval dn{};
    if (ldap_get_dn_ber(ld, message, &walker, &dn) != LDAP_SUCCESS) return std::nullopt;
    std::unique_ptr<BerElement, void (*)(BerElement*)> walk(walker,
                                                            [](BerElement* b) { ber_free(b, 0); });
    BerPtr out(ber_alloc_t(LBER_USE_DER));
    if (!out) return std::nullopt;
    EncodedResponse response{LDAP_RES_SEARCH_ENTRY, {}, 0, std::string(dn.bv_val, dn.bv_len)};
    if (ber_printf(out.get(), "{it{O{", msgid, static_cast<ber_tag_t>(LDAP_RES_SEARCH_ENTRY),
                   &dn) == -1)
        return std::nullopt;
    for (;;) {
        berval attr{};
        BerVarray values = nullptr;
        if (ldap_get_attribute_ber(ld, message, walker, &attr, &values) != LDAP_SUCCESS)
            return std::nullopt;
        if (attr.bv_val == nullptr) break;
        static berval no_values[1] = {{0, nullptr}};
        int rc = ber_printf(out.get(), "{O[W]}", &attr, values ? values : no_values);
        ber_memfree(values);
        if (rc == -1) return std::nullopt;
    }
    if (ber_printf(out.get(), "}}}") == -1) return std::nullopt;
    std::optional<std::string> bytes = flatten(out.get());
    if (!bytes) return std::nullopt;
    response.bytes = std::move(*bytes);
    return response;
}

std::optional<EncodedResponse> encode_final(LDAP* ld, LDAPMessage* message, int type, int msgid) {
    int code = LDAP_OTHER;
    char* matched = nullptr;
    char* text = nullptr;
    char** referrals = nullptr;
    if (ldap_parse_result(ld, message, &code, &matched, &text, &referrals, nullptr, 0) !=
        LDAP_SUCCESS)
        return std::nullopt;
    BerPtr out(ber_alloc_t(LBER_USE_DER));
    int rc = out ? ber_printf(out.get(), "{it{ess", msgid, static_cast<ber_tag_t>(type), code,
                              matched ? matched : "", text ? text : "")
                 : -1;
    if (rc != -1 && referrals != nullptr)
        rc = ber_printf(out.get(), "t{v}", static_cast<ber_tag_t>(LDAP_TAG_REFERRAL), referrals);
    if (rc != -1) rc = ber_printf(out.get(), "}}");
    ldap_memfree(matched);
    ldap_memfree(text);
    ldap_memvfree(reinterpret_cast<void**>(referrals));
    if (rc == -1) return std::nullopt;
    std::optional<std::string> bytes = flatten(out.get());
    if (!bytes) return std::nullopt;
    return EncodedResponse{type, std::move(*bytes), code, {}};
}

}  // namespace

std::optional<EncodedRequest> encode_search_request(LDAP* ld, const char* base, int scope,
                                                    const char* filter, char** attrs,
                                                    int attrsonly) {
    BerPtr ber(ber_alloc_t(LBER_USE_DER));
    if (!ber || filter == nullptr) return std::nullopt;
    if (ber_printf(ber.get(), "{it{seeiib", 0, static_cast<ber_tag_t>(LDAP_REQ_SEARCH),
                   base ? base : "", scope, int_option(ld, LDAP_OPT_DEREF),
                   int_option(ld, LDAP_OPT_SIZELIMIT), int_option(ld, LDAP_OPT_TIMELIMIT),
                   attrsonly ? 1 : 0) == -1)
        return std::nullopt;
    if (!encode_filter(ber.get(), filter)) return std::nullopt;
    if (ber_printf(ber.get(), "{v}}}", attrs) == -1) return std::nullopt;
    return finish(ber.get(), base);
}

std::optional<EncodedRequest> encode_compare_request(const char* dn, const char* attr,
                                                     const char* value) {
    BerPtr ber(ber_alloc_t(LBER_USE_DER));
    if (!ber || attr == nullptr || value == nullptr) return std::nullopt;
    if (ber_printf(ber.get(), "{it{s{ss}}}", 0, static_cast<ber_tag_t>(LDAP_REQ_COMPARE),
                   dn ? dn : "", attr, value) == -1)
        return std::nullopt;
    return finish(ber.get(), dn);
}

std::optional<EncodedResponse> encode_response(LDAP* ld, LDAPMessage* message) {
    int type = ldap_msgtype(message);
    int msgid = ldap_msgid(message);
    switch (type) {
        case LDAP_RES_SEARCH_ENTRY:
            return encode_entry(ld, message, msgid);
        case LDAP_RES_SEARCH_RESULT:
        case LDAP_RES_COMPARE:
            return encode_final(ld, message, type, msgid);
        default:
            return std::nullopt;
    }
}

BerElement* open_reader(const std::string& bytes) {
    BerElement* reader = ber_alloc_t(0);
    if (reader == nullptr) return nullptr;
    berval view{static_cast<ber_len_t>(bytes.size()), const_cast<char*>(bytes.data())};
    ber_init2(reader, &view, 0);
    return reader;
}

std::optional<ResultFields> read_result(const std::string& bytes) {
    ReaderPtr reader(open_reader(bytes));
    if (!reader) return std::nullopt;
    ber_int_t code = 0;
    char* matched = nullptr;
    char* text = nullptr;
    if (ber_scanf(reader.get(), "{x{eaa", &code, &matched, &text) == LBER_ERROR) {
        ber_memfree(matched);
        ber_memfree(text);
        return std::nullopt;
    }
    ResultFields fields{code, matched ? matched : "", text ? text : ""};
    ber_memfree(matched);
    ber_memfree(text);
    return fields;
}

bool skip_to_attributes(BerElement* reader, char** dn) {
    if (dn != nullptr) {
        *dn = nullptr;
        return ber_scanf(reader, "{x{a{", dn) != LBER_ERROR;
    }
    return ber_scanf(reader, "{x{x{") != LBER_ERROR;
}

}  // namespace dirclient::ldapaccess
