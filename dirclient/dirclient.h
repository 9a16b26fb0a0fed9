#ifndef DIRCLIENT_DIRCLIENT_H
#define DIRCLIENT_DIRCLIENT_H

// Umbrella header of the directory client library: one include for the whole API.

#include "version.h"

// The shared runtime: pooled memory, the error log, the LDIF line codec, small utilities.
#include "ch_malloc.h"
#include "debug_mask.h"
#include "error_log.h"
#include "ldif_codec.h"
#include "runtime_util.h"
#include "string_translators.h"

// The object model.
#include "attribute.h"
#include "attribute_set.h"
#include "dbinary.h"
#include "delement.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "dn_normalize.h"
#include "entry_comparator.h"
#include "modification.h"
#include "modification_set.h"
#include "object_memory.h"
#include "results.h"
#include "search_constraints.h"
#include "search_results.h"
#include "text_dump.h"

// Profiling.
#include "profile_activity.h"
#include "profile_measure.h"
#include "profile_report.h"

// LDAP access: result codes, server lists and DNS discovery, the response cache, handles.
#include "directory_handle.h"
#include "dns_discovery.h"
#include "ldap_call_activities.h"
#include "ldap_cext.h"
#include "ldap_cext_calls.h"
#include "ldap_handle_calls.h"
#include "ldap_memory_calls.h"
#include "ldap_response_cache.h"
#include "ldap_result_codes.h"
#include "server_list.h"

// The flat-file directory.
#include "dfilter.h"
#include "ffconnection.h"
#include "ffline.h"
#include "ffnode.h"

// The connection: the way into a directory over LDAP, a server list, DNS or a flat file.
#include "dconnection.h"

#endif
