#ifndef DIRCLIENT_SERVER_LIST_H
#define DIRCLIENT_SERVER_LIST_H

#include "dirclient_export.h"

// Server lists: LDAP URLs ("LDAP://host:port", "LDAPS://host:port") separated by ';'.
// Elements that are not LDAP URLs are skipped; the host defaults to localhost and the port
// to 389 (636 for LDAPS).

#ifdef __cplusplus
extern "C" {
#endif

// Takes the next server from "list": skips to the first element that is an LDAP URL and
// returns the position just after it (null when none is left). When the URL parses, "*host"
// receives a copy of its host (release with free) and "*port" its port; otherwise both are
// left as they were.
DIRCLIENT_API char* parse_URLs(char* list, char** host, int* port);

#ifdef __cplusplus
}
#endif

#endif
