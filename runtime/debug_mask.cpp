#include "debug_mask.h"

extern "C" {
int ldap_debug = 0;
}
