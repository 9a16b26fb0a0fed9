#include "message_access.h"

#include <strings.h>

#include <algorithm>
#include <vector>

#include "ldap_message_codec.h"
#include "ldap_result_codes.h"
#include "local_message.h"

namespace dirclient::ldapaccess::message {

namespace {

// A reader handed to the caller as the attribute cursor only points into the local
// message, so the caller's ber_free(ber, 0) releases it completely.
using Reader = ReaderPtr;

LocalMessage* next_local_entry(LocalMessage* node) {
    while (node != nullptr && node->type != LDAP_RES_SEARCH_ENTRY)
        node = node->next;
    return node;
}

LDAPMessage* as_message(LocalMessage* node) {
    return reinterpret_cast<LDAPMessage*>(node);
}

// Reads the next attribute name at the reader's position; null at the end.
char* read_attribute_name(BerElement* reader) {
    ber_len_t len = 0;
    if (ber_peek_tag(reader, &len) == LBER_DEFAULT) return nullptr;
    char* name = nullptr;
    if (ber_scanf(reader, "{ax", &name) == LBER_ERROR) {
        ber_memfree(name);
        return nullptr;
    }
    return name;
}

// Runs "take" on the value set of attribute "attr" of a local entry.
template <typename Take>
bool with_values(LocalMessage* entry, const char* attr, Take take) {
    if (entry->type != LDAP_RES_SEARCH_ENTRY || attr == nullptr) return false;
    Reader reader(open_reader(entry->bytes));
    if (!reader || !skip_to_attributes(reader.get(), nullptr)) return false;
    for (;;) {
        ber_len_t len = 0;
        if (ber_peek_tag(reader.get(), &len) == LBER_DEFAULT) return false;
        char* name = nullptr;
        if (ber_scanf(reader.get(), "{a", &name) == LBER_ERROR) {
            ber_memfree(name);
            return false;
        }
        bool match = strcasecmp(name, attr) == 0;
        ber_memfree(name);
        if (match) return take(reader.get());
        if (ber_scanf(reader.get(), "x") == LBER_ERROR) return false;
    }
}

void set_session_error(LDAP* ld, const ResultFields& fields) {
    if (ld == nullptr) return;
    ldap_set_option(ld, LDAP_OPT_RESULT_CODE, &fields.code);
    ldap_set_option(ld, LDAP_OPT_MATCHED_DN, fields.matched.c_str());
    ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, fields.text.c_str());
}

std::vector<std::string> local_sort_key(LocalMessage* entry, const char* attr) {
    std::vector<std::string> key;
    if (attr == nullptr) {
        Reader reader(open_reader(entry->bytes));
        char* dn = nullptr;
        if (reader && skip_to_attributes(reader.get(), &dn) && dn != nullptr) key.push_back(dn);
        ber_memfree(dn);
        return key;
    }
    with_values(entry, attr, [&](BerElement* reader) {
        char** values = nullptr;
        if (ber_scanf(reader, "[v]", &values) == LBER_ERROR) return false;
        for (char** v = values; v && *v; ++v)
            key.emplace_back(*v);
        ber_memvfree(reinterpret_cast<void**>(values));
        return true;
    });
    return key;
}

int compare_keys(const std::vector<std::string>& a, const std::vector<std::string>& b,
                 int (*cmp)(const char*, const char*)) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int rc = cmp(a[i].c_str(), b[i].c_str());
        if (rc != 0) return rc;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int sort_local(LocalMessage** chain, const char* attr, int (*cmp)(const char*, const char*)) {
    std::vector<std::pair<std::vector<std::string>, LocalMessage*>> entries;
    std::vector<LocalMessage*> others;
    for (LocalMessage* node = *chain; node != nullptr; node = node->next) {
        if (node->type == LDAP_RES_SEARCH_ENTRY)
            entries.emplace_back(local_sort_key(node, attr), node);
        else
            others.push_back(node);
    }
    std::stable_sort(entries.begin(), entries.end(), [cmp](const auto& a, const auto& b) {
        return compare_keys(a.first, b.first, cmp) < 0;
    });
    LocalMessage** tail = chain;
    for (auto& entry : entries) {
        *tail = entry.second;
        tail = &entry.second->next;
    }
    for (LocalMessage* node : others) {
        *tail = node;
        tail = &node->next;
    }
    *tail = nullptr;
    return LDAP_SUCCESS;
}

}  // namespace

int msgfree(LDAPMessage* chain) {
    if (chain == nullptr) return 0;
    if (LocalMessage* local = as_local(chain)) return free_local_chain(local);
    forget_translated(chain);
    return ldap_msgfree(chain);
}

int msgtype(LDAPMessage* message) {
    if (message == nullptr) return -1;
    if (LocalMessage* local = as_local(message)) return local->type;
    return ldap_msgtype(message);
}

int msgid(LDAPMessage* message) {
    if (message == nullptr) return -1;
    if (LocalMessage* local = as_local(message)) return local->msgid;
    int caller_id = 0;
    if (translated_id(message, &caller_id)) return caller_id;
    return ldap_msgid(message);
}

// libldap aborts on a null message, attribute or cursor; the accessors answer null instead.

LDAPMessage* first_entry(LDAP* ld, LDAPMessage* chain) {
    if (chain == nullptr) return nullptr;
    if (LocalMessage* local = as_local(chain)) return as_message(next_local_entry(local));
    return ldap_first_entry(ld, chain);
}

LDAPMessage* next_entry(LDAP* ld, LDAPMessage* entry) {
    if (entry == nullptr) return nullptr;
    if (LocalMessage* local = as_local(entry)) return as_message(next_local_entry(local->next));
    return ldap_next_entry(ld, entry);
}

int count_entries(LDAP* ld, LDAPMessage* chain) {
    if (chain == nullptr) return -1;
    if (LocalMessage* local = as_local(chain)) {
        int count = 0;
        for (LocalMessage* e = next_local_entry(local); e; e = next_local_entry(e->next))
            ++count;
        return count;
    }
    return ldap_count_entries(ld, chain);
}

char* get_dn(LDAP* ld, LDAPMessage* entry) {
    if (entry == nullptr) return nullptr;
    LocalMessage* local = as_local(entry);
    if (local == nullptr) return ldap_get_dn(ld, entry);
    if (local->type != LDAP_RES_SEARCH_ENTRY) return nullptr;
    Reader reader(open_reader(local->bytes));
    char* dn = nullptr;
    if (!reader || !skip_to_attributes(reader.get(), &dn)) {
        ber_memfree(dn);
        return nullptr;
    }
    return dn;
}

char* first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ber) {
    if (ber == nullptr) return nullptr;
    *ber = nullptr;
    if (entry == nullptr) return nullptr;
    LocalMessage* local = as_local(entry);
    if (local == nullptr) return ldap_first_attribute(ld, entry, ber);
    *ber = nullptr;
    if (local->type != LDAP_RES_SEARCH_ENTRY) return nullptr;
    Reader reader(open_reader(local->bytes));
    if (!reader || !skip_to_attributes(reader.get(), nullptr)) return nullptr;
    char* name = read_attribute_name(reader.get());
    if (name != nullptr) *ber = reader.release();
    return name;
}

char* next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ber) {
    if (entry == nullptr || ber == nullptr) return nullptr;
    if (as_local(entry) == nullptr) return ldap_next_attribute(ld, entry, ber);
    return ber ? read_attribute_name(ber) : nullptr;
}

struct berval** get_values_len(LDAP* ld, LDAPMessage* entry, const char* attr) {
    if (entry == nullptr || attr == nullptr) return nullptr;
    LocalMessage* local = as_local(entry);
    if (local == nullptr) return ldap_get_values_len(ld, entry, attr);
    struct berval** values = nullptr;
    with_values(local, attr, [&](BerElement* reader) {
        return ber_scanf(reader, "[V]", &values) != LBER_ERROR;
    });
    return values;
}

char** get_values(LDAP* ld, LDAPMessage* entry, const char* attr) {
    if (entry == nullptr || attr == nullptr) return nullptr;
    LocalMessage* local = as_local(entry);
    if (local == nullptr) return ldap_get_values(ld, entry, attr);
    char** values = nullptr;
    with_values(local, attr, [&](BerElement* reader) {
        return ber_scanf(reader, "[v]", &values) != LBER_ERROR;
    });
    return values;
}

int result2error(LDAP* ld, LDAPMessage* chain, int freeit) {
    LocalMessage* local = as_local(chain);
    if (local == nullptr) {
        int code = chain ? ldap_result2error(ld, chain, 0) : LDAP_PARAM_ERROR;
        if (freeit) msgfree(chain);
        return qdx_ldap_classic_code(code);
    }
    ResultFields fields;
    for (LocalMessage* node = local; node != nullptr; node = node->next) {
        if (node->type == LDAP_RES_SEARCH_RESULT || node->type == LDAP_RES_COMPARE) {
            if (auto read = read_result(node->bytes)) fields = *read;
        }
    }
    set_session_error(ld, fields);
    if (freeit) free_local_chain(local);
    return qdx_ldap_classic_code(fields.code);
}

int sort_entries(LDAP* ld, LDAPMessage** chain, const char* attr,
                 int (*cmp)(const char*, const char*)) {
    if (chain == nullptr || cmp == nullptr) return qdx_ldap_classic_code(LDAP_PARAM_ERROR);
    if (LocalMessage* local = as_local(*chain)) {
        LocalMessage* head = local;
        int rc = sort_local(&head, attr, cmp);
        *chain = as_message(head);
        return rc;
    }
    return qdx_ldap_classic_code(ldap_sort_entries(ld, chain, attr, cmp));
}

LDAPMessage* delete_result_entry(LDAPMessage** list, LDAPMessage* entry) {
    if (list == nullptr || entry == nullptr) return nullptr;
    LocalMessage* target = as_local(entry);
    if (target == nullptr) return ldap_delete_result_entry(list, entry);
    for (LocalMessage** link = reinterpret_cast<LocalMessage**>(list); *link;
         link = &(*link)->next) {
        if (*link == target) {
            *link = target->next;
            target->next = nullptr;
            return entry;
        }
    }
    return nullptr;
}

void add_result_entry(LDAPMessage** list, LDAPMessage* entry) {
    if (list == nullptr || entry == nullptr) return;
    LocalMessage* local = as_local(entry);
    bool list_is_local = *list == nullptr || as_local(*list) != nullptr;
    if (local == nullptr && (*list == nullptr || as_local(*list) == nullptr)) {
        ldap_add_result_entry(list, entry);
    } else if (local != nullptr && list_is_local) {
        local->next = reinterpret_cast<LocalMessage*>(*list);
        *list = entry;
    }
    // A local entry cannot join a libldap chain, nor the reverse: the list stays as it was.
}

}  // namespace dirclient::ldapaccess::message
