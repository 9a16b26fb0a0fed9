#ifndef DIRCLIENT_LDAP_CALL_ACTIVITIES_H
#define DIRCLIENT_LDAP_CALL_ACTIVITIES_H

// The activity names under which the library measures its LDAP calls. A host program that
// profiles them declares each as an atomic activity inside its composite "ldap32":
//
//   qdx_create_composite_activity("ldap32", "calls into the LDAP client library");
//   for (const char* call : qdx_ldap_call_activities) qdx_create_atomic_activity(call, call);
//   qdx_end_composite_activity();

inline constexpr const char* qdx_ldap_call_activities[] = {"ldap_add",
                                                           "ldap_add_s",
                                                           "ldap_err2string",
                                                           "ldap_simple_bind",
                                                           "ldap_simple_bind_s",
                                                           "ldap_compare_s",
                                                           "ldap_enable_cache",
                                                           "ldap_delete",
                                                           "ldap_delete_s",
                                                           "ldap_modify",
                                                           "ldap_modify_s",
                                                           "ldap_modrdn2",
                                                           "ldap_modrdn2_s",
                                                           "ldap_search",
                                                           "ldap_search_s",
                                                           "ldap_msgfree",
                                                           "ldap_msgid",
                                                           "ldap_result",
                                                           "ldap_result2error",
                                                           "ldap_count_entries",
                                                           "ldap_first_entry",
                                                           "ldap_next_entry",
                                                           "ldap_get_dn",
                                                           "ldap_first_attribute",
                                                           "ldap_next_attribute",
                                                           "ldap_get_values_len",
                                                           "ldap_value_free_len",
                                                           "ldap_memfree",
                                                           "ldap_set_timeout",
                                                           "ldap_get_lderrno",
                                                           "ldap_set_option"};

#endif
