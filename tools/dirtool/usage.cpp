// The text of "dirtool --help"; the manual page dirtool(1) says the same at length.
#include "command_line.h"

namespace dirtool {
namespace {

const char kUsage[] =
    R"(Usage: dirtool -H HOST [-p PORT] [-Z[Z]] [-D DN -w PASSWORD | -W | -y FILE] [OPTIONS] COMMAND ...
       dirtool -H HOST [...] -b BASE [-s SCOPE] [-LLL] [-z N] [FILTER [ATTR...]]
       dirtool -H HOST [...] -f CHANGES.ldif [-c] [-n]

Reads and changes a directory: an LDAP server, a list of servers, or a flat LDIF file.
Entries are printed as LDIF.

Commands:
  search BASE SCOPE [FILTER [ATTR...]]      (or: search -b BASE [-s SCOPE] [FILTER [ATTR...]])
        print the entries found; SCOPE is base, one, sub or children (or 0, 1, 2); FILTER
        defaults to (objectclass=*); --sort orders them by attributes or by dn
  read DN [ATTR...]
        print one entry
  add FILE.ldif  (or: add -f FILE.ldif)
        add every entry of the file ("-" reads standard input); search output is accepted
  apply FILE.ldif  (or: modify -f FILE.ldif, or -f FILE.ldif alone)
        apply a file of change records in order: changetype add, modify (add:, delete:,
        replace:, increment:), delete, modrdn and moddn; records without a changetype are
        added
  modify DN
        apply the changes read from standard input, for example:
          replace: mail
          mail: ann@example.com
          -
          add: telephoneNumber
          telephoneNumber: 555 0101
          -
          delete: description
  delete [-r] DN
        delete a leaf entry; -r deletes the entry and everything below it
  rename DN NEWRDN [NEWSUPERIOR] [--keep-old-rdn]
        rename the entry, and move it below NEWSUPERIOR when given
  compare DN ATTR VALUE...
        print true when the entry holds every VALUE of ATTR, else false
  changed [--wait SECONDS]
        on a server list: print whether the server has completed changes, and how
        many; --wait waits up to SECONDS for one more

Options:
  -H, --host HOST       the directory (default: $DIRTOOL_HOST):
                          FILE:///data/dir.ldif      flat LDIF file, path relative to the
                                                     current directory; FILE:////srv/dir.ldif
                                                     for an absolute path
                          LDAP://host:389            one server (ldap://host also)
                          LDAPS://host:636           one server over TLS
                          LDAP://a:389;LDAP://b:389  servers with fail-over
                          DNS:name                   servers named by the TXT record of name
                          host                       one server, plain session
  -p, --port PORT       port of a plain host name (default 389)
  -D, --bind-dn DN      bind as DN (with -w or -y)
  -w, --password PW     password of the bind (blanked in the process list at once)
  -W, --prompt-password prompt for the password on the terminal, without echo
  -y, --password-file FILE
                        read the password from the first line of FILE instead (keeps it
                        out of the process list)
  -Z                    StartTLS; go on in clear when the server refuses it
  -ZZ                   StartTLS, demanded: fail when the server refuses it
                        (certificates are checked as ldap.conf and LDAPTLS_* say)
  -x, --simple          simple bind (the only kind there is; accepted for habit's sake)
  -P, --protocol 3      LDAP version 3 (the only one spoken)
  -v, --verbose         say each step on standard error
      --match MODE      how a FILE:/// directory matches values: "default" (the word
                        matcher) or "ldap" (as an LDAP server with the schema would;
                        default: $QDX_FLATFILE_MATCH)
      --profile         measure the run and the LDAP calls; the report goes to standard
                        error at exit (to $QDX_PROFILE_FILE when set)
  -h, --help            print this text
      --version         print the library version
  --                    ends the options (for operands that begin with '-')

Search options:
  -b, --base BASE       the base; the operands are then FILTER [ATTR...]
  -s, --scope SCOPE     base, one, sub (the default with -b) or children
  -L, -LL, -LLL         -L: a "version: 1" line and comments; -LL: the version line;
                        -LLL (and the default): the records only
  -z, --size-limit N    at most N entries (exit status 4 when there were more)
  -l, --time-limit S    the server may take S seconds (exit status 3 when it ran out);
                        no effect on a flat file, which is searched in memory
  -A, --attributes-only attribute names without values
  -S, --sort ATTR[:desc],...
                        order the entries on the client by attributes, or by dn
                        (holds them all first; otherwise entries print as they arrive)
      --page N, -E pr=N read the entries in pages of N (simple paged results), past
                        a server's size limit where it allows
  -f, --file FILE       one filter per line, each searched in turn ("%s" in FILTER
                        stands for the line)

Change options (add, apply, modify -f, delete, rename):
  -f, --file FILE       the LDIF file of entries or change records
  -c, --continue        go on after a failed change; each failure is reported with the
                        line of its record, and the count at the end
  -n, --dry-run         show what would be done and change nothing (a flat file is left
                        as it is)
  -a, --add-new         records without a changetype are entries to add (always so here)

Exit status: 0 success; for a failed LDAP operation its LDAP result code (32 no such
object, 49 invalid credentials, 50 insufficient access, 65 object class violation, 68
already exists, 4 size limit exceeded, 3 time limit exceeded, 81 server down, ...; with -c
the code of the first failure); 1 another failure (a flat file that cannot be written
back, an unreadable answer, the change count not available); 2 bad command line or bad
input; compare: 0 true, 3 false; changed: 0 changed, 3 no change.

Examples:
  dirtool -H FILE:///out/release320.ldif search o=northwind sub '(objectclass=person)' cn --sort sn
  dirtool -H ldap://localhost:389 -x -b dc=example,dc=com -s one -LLL '(ou=*)' ou
  dirtool -H ldap://localhost:389 -D cn=admin,dc=example,dc=com -y pw.txt -c -f changes.ldif
)";

}  // namespace

const char* usage_text() {
    return kUsage;
}

}  // namespace dirtool
