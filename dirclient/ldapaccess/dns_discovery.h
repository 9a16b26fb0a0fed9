#ifndef DIRCLIENT_DNS_DISCOVERY_H
#define DIRCLIENT_DNS_DISCOVERY_H

#include "dirclient_export.h"

// Finding the server list in DNS: the TXT record of a DNS name (by default
// "KorvanDirectoryServers") holds LDAP URLs separated by ';'. The name is process-wide and
// guarded, with the lookups, by one lock.

#ifdef __cplusplus
extern "C" {
#endif

// Stores a copy of "name" as the DNS name (null: back to the default).
DIRCLIENT_API void setDNSName(const char* name);

// Copies the DNS name with its terminator into "buf" and returns 0 when it fits in "size"
// bytes; otherwise returns the size it needs and leaves "buf" untouched.
DIRCLIENT_API int getDNSName(char* buf, int size);

// As getDNSName for the server list found in DNS; -1 when DNS gives none.
DIRCLIENT_API int getDNSServerListEntry(char* buf, int size);

// The server list from DNS in upper case, released with free(); null when there is none.
DIRCLIENT_API char* res_getBackupServerList(void);

#ifdef __cplusplus
}
#endif

#endif
