#ifndef DIRTOOL_PROFILING_H
#define DIRTOOL_PROFILING_H

// Profiling of one dirtool run, as a program hosting the library does it: the tree
//   dirtool
//     ldif_input            reading and parsing LDIF
//     operation             connecting, the directory operations, disconnecting
//       ldap32              the LDAP calls, one activity each, measured by the library
//     ldif_output           writing entries as LDIF

namespace dirtool {

// Switches profiling on for the whole run (whatever QDX_PROFILE says), declares the tree
// and starts "dirtool"; the destructor stops it and prints the report. QDX_PROFILE_ACTIVITIES
// and the QDX_PROFILE_REPORT_* variables are honoured when set; otherwise every activity is
// measured and the report shows processor time and counts. The report (the statistics tree
// without the LDAP calls that never ran, and the run's processor time) goes to standard
// error; with QDX_PROFILE_FILE set, the library's full report goes to that file instead.
// Inactive when on is false.
class Profiling {
  public:
    explicit Profiling(bool on);
    ~Profiling();
    Profiling(const Profiling&) = delete;
    Profiling& operator=(const Profiling&) = delete;

  private:
    bool on_;
};

// Runs a named activity of the tree for the lifetime of the object (nothing when profiling
// is off).
class Activity {
  public:
    explicit Activity(const char* name);
    ~Activity();
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;

  private:
    const char* name_;
};

}  // namespace dirtool

#endif
