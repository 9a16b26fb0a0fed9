#ifndef DIRCLIENT_DIRCLIENT_H
#define DIRCLIENT_DIRCLIENT_H

// Umbrella header of the directory client library: one include for the whole API.
#include "version.h"
#include "debug_mask.h"
#include "ch_malloc.h"
#include "error_log.h"
#include "ldif_codec.h"
#include "runtime_util.h"
#include "string_translators.h"
#include "ldap_result_codes.h"
#include "profile_activity.h"
#include "profile_measure.h"
#include "profile_report.h"
#include "dns_discovery.h"
#include "server_list.h"
#include "ldap_cext.h"
#include "ldap_cext_calls.h"
#include "ldap_response_cache.h"

#endif
