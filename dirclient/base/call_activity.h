#ifndef DIRCLIENT_CALL_ACTIVITY_H
#define DIRCLIENT_CALL_ACTIVITY_H

#include "profile_measure.h"

namespace dirclient::ldapaccess {

// Measures one LDAP call of the directory handle: starts the call's own activity and, on
// every way out of the scope, stops "ldap32", the composite under which host programs
// declare the call activities; stopping it ends the call's activity too.
class CallActivity {
  public:
    explicit CallActivity(const char* name) { qdx_start_activity(name); }
    ~CallActivity() { qdx_stop_activity("ldap32"); }
    CallActivity(const CallActivity&) = delete;
    CallActivity& operator=(const CallActivity&) = delete;
};

}  // namespace dirclient::ldapaccess

#endif
