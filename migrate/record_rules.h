#ifndef LDIFMIGRATE_RECORD_RULES_H
#define LDIFMIGRATE_RECORD_RULES_H

// The rules that turn a release-300/310 meta-data record into its release-320 form. Each
// works on the record's attribute table, only appends slots or replaces slot values, and
// compares attribute types and the fixed values below without regard to case. Rules
// return 0, or 1 for a problem the caller reports ("Problem migrating entry ...").

#include "attr_table.h"

namespace migrate {

inline constexpr const char* DEFINITION = "definition";
inline constexpr const char* MAP = "map";
inline constexpr const char* MAPDESC = "mapdesc";
inline constexpr const char* MDRTYPE = "mdrtype";
inline constexpr const char* MESSAGEMAP = "MessageMap";
inline constexpr const char* METADATAENTRY = "MetaDataEntry";
inline constexpr const char* OBJECTCLASS = "objectclass";
inline constexpr const char* USERMAP = "usermap";
inline constexpr const char* VERSION = "version";
inline constexpr const char* FUNCNAME = "funcname";
inline constexpr const char* DN = "dn";
inline constexpr const char* CN = "cn";
inline constexpr const char* COMPATT = "compatver";
inline constexpr const char* SOURCE1 = "source='";
inline constexpr const char* SOURCE2 = "source=\"";
inline constexpr const char* TARGET1 = "target='";
inline constexpr const char* TARGET2 = "target=\"";
inline constexpr const char* TYPE1 = "type='user'";
inline constexpr const char* TYPE2 = "type=\"user\"";
inline constexpr const char* MDRTYPEFUNC = "FunctionLibrary";
inline constexpr const char* FUNCLIBVAL = "<any>";
inline constexpr const char* COMPATVER = "310";
inline constexpr const char* USERMAP_VALUE = "yes";
inline constexpr const char* CURRENT_VERSION = "320";
inline constexpr int CURRENT_RELEASE = 320;

// Appends a slot with copies of type and value (length = strlen(value)).
int add_attribute(AttrTable& table, const char* type, const char* value);
// As add_attribute, unless a slot of that type exists already.
int add_unique_attribute(AttrTable& table, const char* type, const char* value);

// Puts a backslash before every `c` of slot i's value that has none before it already.
int escape_char(AttrTable& table, int i, char c);
// Escapes "#" in every cn and dn value; always 0.
int escape_mdr(AttrTable& table);

// Converts the definition attributes: mdrtype for elements other than map; for map
// elements the object class MessageMap, usermap for user maps, and mapdesc. Does nothing
// when the record has an mdrtype already.
int migrate_mdr(AttrTable& table);

// "source name;target name;source qualifier;target qualifier" of a map definition, as a
// new ch_malloc text; null (after a message on standard output) when the definition names
// neither a source nor a target.
char* parse_definition(const char* definition);

// Splits "qualifier:name" at its last ':' into new ch_malloc texts; *qualifier is null when
// the text has no ':' and ":" when its only ':' is the first character. Returns 0.
int parse_source_target(const char* text, char** name, char** qualifier);

// Adds funcname "<any>" to function libraries that have none; always 0.
int migrate_functionLibrary(AttrTable& table);

// Release number of the record: the last non-empty version value read as a decimal
// number; 0 when there is none or it does not start with one.
int get_version(const AttrTable& table);

// Sets every version value to "320"; always 0.
int set_version(AttrTable& table);

}  // namespace migrate

#endif
